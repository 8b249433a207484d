#pragma once
// The modal prompt in which the user says where the ERP's database is. It
// reads the settings file each time it is shown and never writes it; the
// manager saves what the user entered after OK.
#include "erp/kr_database.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TFrmKRDBConnect : public QDialog, public IConnectPrompt
{
    Q_OBJECT
public:
    explicit TFrmKRDBConnect(QWidget *parent = nullptr);
    ~TFrmKRDBConnect() override;

    bool Execute() override;
    TConnectEntries Entries() const override;

    // Fills the fields and applies the enabling rules; Execute runs it before
    // the dialog is shown, so a damaged stored value never reaches the event
    // loop as an exception.
    void FormShow();
    void FormKeyDown(int key);
    void BtnConectarClick();
    void BtnCancelarClick();
    void CkConfigClick();

    QLineEdit *EdtIP = nullptr;
    QLineEdit *EdtLocal = nullptr;
    QLineEdit *EdtPorta = nullptr;
    QLineEdit *EdtUsuario = nullptr;
    QLineEdit *EdtSenha = nullptr;
    QCheckBox *CkConfig = nullptr;
    QLabel *LblUsuario = nullptr;
    QLabel *LblSenha = nullptr;
    QLabel *LblPorta = nullptr;
    QPushButton *BtnConectar = nullptr;
    QPushButton *BtnCancelar = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The instance while the manager's Connect runs; null otherwise.
extern TFrmKRDBConnect *FrmKRDBConnect;

// Lets the ERP database manager create this prompt; called by the program
// entry once the application object exists.
void InstallConnectPrompt();
