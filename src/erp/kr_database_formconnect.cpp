#include "erp/kr_database_formconnect.h"

#include "uikit/kr_guard.h"
#include "uikit/kr_trace.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFrmKRDBConnect *FrmKRDBConnect = nullptr;

TFrmKRDBConnect::TFrmKRDBConnect(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Configuração do Banco de Dados"));

    auto *groupIP = new QGroupBox(
        QStringLiteral("Nº IP (caso o banco de dados esteja neste computador o IP deve ser 127.0.0.1)"), this);
    EdtIP = new QLineEdit(groupIP);
    auto *ipLayout = new QFormLayout(groupIP);
    ipLayout->addRow(QStringLiteral("Número IP do servidor:"), EdtIP);

    auto *groupLocal =
        new QGroupBox(QStringLiteral("Caminho do banco de dados (não use mapeamentos ou caminhos de rede)"), this);
    EdtLocal = new QLineEdit(groupLocal);
    auto *localLayout = new QFormLayout(groupLocal);
    localLayout->addRow(QStringLiteral("Local do Banco de Dados no Servidor:"), EdtLocal);

    auto *groupAdvanced = new QGroupBox(QStringLiteral("Configurações Avançadas"), this);
    CkConfig = new QCheckBox(QStringLiteral("Usar configurações avançadas (desmarque esta opção se não usar)"),
                             groupAdvanced);
    LblUsuario = new QLabel(QStringLiteral("Usuário:"), groupAdvanced);
    EdtUsuario = new QLineEdit(groupAdvanced);
    LblSenha = new QLabel(QStringLiteral("Senha:"), groupAdvanced);
    EdtSenha = new QLineEdit(groupAdvanced);
    EdtSenha->setEchoMode(QLineEdit::Password);
    LblPorta = new QLabel(QStringLiteral("Porta:"), groupAdvanced);
    EdtPorta = new QLineEdit(groupAdvanced);
    EdtPorta->setEchoMode(QLineEdit::Password);
    auto *advancedLayout = new QFormLayout(groupAdvanced);
    advancedLayout->addRow(CkConfig);
    advancedLayout->addRow(LblUsuario, EdtUsuario);
    advancedLayout->addRow(LblSenha, EdtSenha);
    advancedLayout->addRow(LblPorta, EdtPorta);

    BtnConectar = new QPushButton(QStringLiteral("Conectar F3"), this);
    BtnCancelar = new QPushButton(QStringLiteral("Cancelar ESC"), this);
    // Enter must not close the prompt with OK by accident: only F3 or the button.
    BtnConectar->setAutoDefault(false);
    BtnCancelar->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnConectar);
    buttons->addWidget(BtnCancelar);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(groupIP);
    layout->addWidget(groupLocal);
    layout->addWidget(groupAdvanced);
    layout->addLayout(buttons);

    connect(BtnConectar, &QPushButton::clicked, this, [this] { Guarded([this] { BtnConectarClick(); }); });
    connect(BtnCancelar, &QPushButton::clicked, this, [this] { Guarded([this] { BtnCancelarClick(); }); });
    connect(CkConfig, &QCheckBox::clicked, this, [this] { Guarded([this] { CkConfigClick(); }); });
}

TFrmKRDBConnect::~TFrmKRDBConnect()
{
    if (FrmKRDBConnect == this)
        FrmKRDBConnect = nullptr;
}

bool TFrmKRDBConnect::Execute()
{
    FormShow();
    return exec() == QDialog::Accepted;
}

TConnectEntries TFrmKRDBConnect::Entries() const
{
    TConnectEntries entries;
    entries.Host = EdtIP->text();
    entries.DatabasePath = EdtLocal->text();
    entries.Port = EdtPorta->text();
    entries.User = EdtUsuario->text();
    entries.Password = EdtSenha->text();
    entries.Advanced = CkConfig->isChecked();
    return entries;
}

void TFrmKRDBConnect::FormShow()
{
    TracePoint("TFrmKRDBConnect.FormShow", "DBIBXCONECT192");
    const TConnectEntries entries = EntriesToShow();
    EdtIP->setText(entries.Host);
    EdtLocal->setText(entries.DatabasePath);
    EdtPorta->setText(entries.Port);
    EdtUsuario->setText(entries.User);
    EdtSenha->setText(entries.Password);
    CkConfig->setChecked(entries.Advanced);
    // A database on this computer is reached through the local host address.
    EdtIP->setEnabled(!LocalFileExists(EdtLocal->text()));
    CkConfigClick();
}

void TFrmKRDBConnect::CkConfigClick()
{
    TracePoint("TFrmKRDBConnect.CkConfigClick", "DBIBXCONECT215");
    const bool on = CkConfig->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(LblUsuario), static_cast<QWidget *>(EdtUsuario),
                       static_cast<QWidget *>(LblSenha), static_cast<QWidget *>(EdtSenha),
                       static_cast<QWidget *>(LblPorta), static_cast<QWidget *>(EdtPorta)})
        w->setEnabled(on);
}

void TFrmKRDBConnect::BtnConectarClick()
{
    TracePoint("TFrmKRDBConnect.BtnConectarClick", "DBIBXCONECT130");
    accept();
}

void TFrmKRDBConnect::BtnCancelarClick()
{
    TracePoint("TFrmKRDBConnect.BtnCancelarClick", "DBIBXCONECT153");
    reject();
}

void TFrmKRDBConnect::FormKeyDown(int key)
{
    TracePoint("TFrmKRDBConnect.FormKeyDown", "DBIBXCONECT178");
    if (key == Qt::Key_Escape)
        BtnCancelar->click();
    else if (key == Qt::Key_F3)
        BtnConectar->click();
}

void TFrmKRDBConnect::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Escape || key == Qt::Key_F3) {
        Guarded([this, key] { FormKeyDown(key); });
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void InstallConnectPrompt()
{
    SetConnectPromptFactory([]() -> std::unique_ptr<IConnectPrompt> {
        auto form = std::make_unique<TFrmKRDBConnect>();
        FrmKRDBConnect = form.get();
        return form;
    });
}
