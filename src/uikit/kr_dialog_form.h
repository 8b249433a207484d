#pragma once
// The window the message API shows: a coloured title bar, a white message
// area with the kind's pale icon behind the centred text, an optional
// drop-down list and one or two themed buttons.
#include "system/kr_message.h"

#include <QDialog>
#include <QImage>

class QFontMetrics;
class QLabel;
class TKRButton;
class TKRComboRadioBox;
class TKRPanel;
class TKRTheme;

class TFrmDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmDialog(QWidget *parent = nullptr);

    // Kind's scheme, title, text, icon, list and buttons, as the message API
    // sets them up before showing the dialog.
    void Prepare(const MessageRequest &request);
    // The result (1 or 2) and, with the list shown, the selected entry.
    MessageOutcome Outcome() const;

    void AlinhaOK();
    void AlinhaAll();
    void BtnOKClick();
    void BtnCancelarClick();
    void FormKeyDown(int key);
    void FormShow();

    // A carriage return alone starts a new line, as it does on the platform
    // the texts were written for.
    static QString DisplayText(const QString &text);
    // A word wider than the message area (a path without blanks) cannot be
    // wrapped, and a centred line would be cut at both ends: it keeps its
    // start and its end, with "…" in the middle.
    static QString ElideLongWords(const QString &text, const QFontMetrics &metrics, int width);
    // The message as it was given, whatever had to be elided: the message
    // area's tooltip, and Ctrl+C copies it.
    QString FullText;
    // The pale 128 × 128 watermark of a kind's icon.
    enum IconKind { IconInfo, IconQuestion, IconWarning, IconError };
    static QImage Watermark(IconKind icon);

    TKRPanel *PnTitulo = nullptr;
    QWidget *Panel1 = nullptr;
    QLabel *ImInfo = nullptr;
    QLabel *ImQuestion = nullptr;
    QLabel *ImWarning = nullptr;
    QLabel *ImError = nullptr;
    QLabel *LblMens = nullptr;
    QWidget *PnLista = nullptr;
    TKRComboRadioBox *CbLista = nullptr;
    QWidget *PnBotoes = nullptr;
    TKRButton *BtnOK = nullptr;
    TKRButton *BtnCancelar = nullptr;
    TKRTheme *Cores = nullptr;

    bool ListVisible = false;
    QString ListDefault;

public slots:
    // Every way of closing without a button (Escape, close box) means "no".
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void LayoutPanels();
    void LayoutMessageArea();
};

// The message API's presenter: shows the request in a TFrmDialog and waits.
MessageOutcome PresentMessageDialog(const MessageRequest &request);
// Makes the message API show its messages in TFrmDialog.
void InstallMessageDialog();
