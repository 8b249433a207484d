#pragma once
// The plain window behind the message API: title, centred text, the kind's
// icon and buttons, and in list mode a drop-down list of choices.
#include "uikit/kr_message.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

class TKRMessageDialog : public QDialog
{
    Q_OBJECT
public:
    // Builds the window for one message without showing it; exec() or open()
    // it, and read Outcome() once it is closed.
    explicit TKRMessageDialog(const MessageRequest &request, QWidget *parent = nullptr);

    MessageOutcome Outcome() const;

    QLabel *TitleLabel() const { return LblTitulo; }
    QLabel *TextLabel() const { return LblMensagem; }
    QLabel *IconLabel() const { return LblIcone; }
    QPushButton *FirstButton() const { return BtnPrimeiro; }
    QPushButton *SecondButton() const { return BtnSegundo; }
    QComboBox *ListBox() const { return CbLista; }

    // The message text as shown: a carriage return alone starts a new line.
    static QString DisplayText(const QString &text);

public slots:
    // Every way of closing without a button (Escape, close box) means "no".
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void PreselectDefault(const QStringList &values, const QString &listDefault);

    QLabel *LblTitulo = nullptr;
    QLabel *LblIcone = nullptr;
    QLabel *LblMensagem = nullptr;
    QComboBox *CbLista = nullptr;
    QPushButton *BtnPrimeiro = nullptr;
    QPushButton *BtnSegundo = nullptr;
    bool m_listVisible = false;
};

// Makes the message API show its messages in TKRMessageDialog.
void InstallMessageDialog();
