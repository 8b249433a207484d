// The full ERP connection dialog, offscreen: the advanced area, the enabling
// rules, the connection test against the private Firebird server, the ping,
// the maintenance-tool button, the keys, the theme and the trace points.
#include "app/kr_database_formconnect.h"
#include "base/kr_guard.h"
#include "base/kr_inifile.h"
#include "base/kr_trace.h"
#include "erp/kr_scramble.h"
#include "support/connect_form.h"
#include "support/db_servers.h"
#include "system/app_env.h"
#include "system/kr_message.h"
#include "uikit/kr_controls.h"
#include "uikit/kr_theme.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {
const QString Section = QStringLiteral("IBCONFIG");

// Half to the even neighbour, worked out without the program's own helper.
int HalfOf(int twice)
{
    const int k = twice / 2;
    return (twice % 2 != 0 && k % 2 != 0) ? k + 1 : k;
}
} // namespace

class TstConnectDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QList<MessageRequest> m_messages;
    QStringList m_topLevelErrors;
    QString m_fbHost, m_fbDatabase, m_fbPassword, m_fbPort;

    QString Folder() const { return m_dir->path() + QLatin1Char('/'); }
    QString Settings() const { return Folder() + QStringLiteral("conexao.ini"); }

    std::unique_ptr<TFrmKRDBConnect> NewForm() const { return NewConnectForm(Settings()); }

    // Shown and active, as the manager's Execute leaves it, without a nested loop.
    std::unique_ptr<TFrmKRDBConnect> ShownForm() const
    {
        auto form = NewForm();
        form->FormShow();
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            qWarning("dialog did not become active");
        return form;
    }

    int ScreenHeight(const TFrmKRDBConnect &form) const { return form.screen()->availableGeometry().height(); }

    void RequireServer()
    {
        if (m_fbHost.isEmpty())
            QSKIP("CATRACA_FB_HOST is not set: start scripts/servers.sh and source its env.sh");
    }

    // The last message shown, as title | text.
    QString LastMessage() const
    {
        return m_messages.isEmpty() ? QStringLiteral("<none>")
                                    : m_messages.last().title + QStringLiteral(" | ") + m_messages.last().text;
    }

    static QString ParamAt(const TFbDatabase &db, int i) { return i < db.Params.size() ? db.Params.at(i) : QString(); }

    void WriteScript(const QString &name, const QString &marker)
    {
        QFile f(Folder() + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\necho \"$#\" > '%1'\n").arg(marker).toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }

private slots:
    void initTestCase()
    {
        m_fbHost = qEnvironmentVariable("CATRACA_FB_HOST");
        m_fbDatabase = qEnvironmentVariable("CATRACA_FB_DATABASE");
        m_fbPort = qEnvironmentVariable("CATRACA_FB_PORT", QStringLiteral("3050"));
        m_fbPassword = qEnvironmentVariable("CATRACA_FB_PASSWORD", QStringLiteral("vellowtip"));
        SetMessagePresenter([this](const MessageRequest &r) {
            m_messages.append(r);
            return MessageOutcome{};
        });
        SetTopLevelErrorDisplay([this](const QString &message) { m_topLevelErrors.append(message); });
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        SetExecutableFolderForTesting(m_dir->path());
        QFile(Folder() + QStringLiteral("nosound.dat")).open(QIODevice::WriteOnly);
        m_messages.clear();
        m_topLevelErrors.clear();
    }

    void cleanup()
    {
        SetExecutableFolderForTesting({});
        m_dir.reset();
        TraceEnabled = false;
    }

    void windowAndComponents()
    {
        auto form = NewForm();
        QCOMPARE(form->windowTitle(), QStringLiteral("Configuração do Banco de Dados"));
        QCOMPARE(form->size(), QSize(508, 505));
        QCOMPARE(form->minimumSize(), form->maximumSize()); // not resizable
        QCOMPARE(form->font().family(), QStringLiteral("Arial"));
        QCOMPARE(form->PnMestre->palette().color(QPalette::Window), QColor(251, 251, 251));
        QCOMPARE(form->KRPanel1->height(), 32);
        QCOMPARE(form->KRPanel1->Caption(), QStringLiteral("Configurações de Conexão"));
        QVERIFY(form->KRPanel1->font().bold());
        QCOMPARE(form->KRPanel1->Theme(), form->Tema);
        QCOMPARE(form->SpeedButton1->height(), 30);
        QCOMPARE(form->SpeedButton1->text(),
                 QStringLiteral("CONFIGURAÇÕES AVANÇADAS (Somente para usuários avançados)"));
        QCOMPARE(form->SpeedButton1->palette().color(QPalette::ButtonText), QColor(128, 0, 0));
        QCOMPARE(form->Label5->text(),
                 QStringLiteral("Você deverá liberar a porta 3050 caso possua um FIREWALL no servidor. "));
        QCOMPARE(form->Label5->palette().color(QPalette::WindowText), QColor(0, 128, 255));
        QCOMPARE(form->Label4->palette().color(QPalette::WindowText), QColor(0, 128, 255));
        QCOMPARE(form->Panel2->height(), 41);
        QCOMPARE(form->Panel2->palette().color(QPalette::Window), QColor(234, 234, 234));
        QCOMPARE(form->Panel2->geometry().bottom(), form->height() - 1);

        // Both masked edits show stars, whatever the platform's own mask.
        for (QLineEdit *masked : {form->EdtSenha, form->EdtPorta}) {
            QCOMPARE(masked->echoMode(), QLineEdit::Password);
            QCOMPARE(masked->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, masked), int('*'));
        }
        QCOMPARE(form->EdtUsuario->echoMode(), QLineEdit::Normal);

        const QList<TKRButton *> leftToRight{form->BtnTestar, form->BtnConectar, form->BtnTools, form->BtnPing,
                                             form->BtnCancelar};
        const QStringList captions{"Testar F2", "Conectar F3", "Tools F4", "Ping F5", "Cancelar ESC"};
        for (int i = 0; i < leftToRight.size(); ++i) {
            TKRButton *b = leftToRight.at(i);
            QCOMPARE(b->Caption(), captions.at(i));
            QCOMPARE(b->size(), QSize(95, 33));
            QCOMPARE(b->GlyphPos(), gpLeft);
            QVERIFY(!b->Glyph().isNull());
            QCOMPARE(b->Theme(), form->Tema);
            QVERIFY(b->geometry().bottom() < form->Panel2->height());
            if (i > 0)
                QVERIFY(b->x() > leftToRight.at(i - 1)->geometry().right());
        }
        QVERIFY(form->BtnCancelar->geometry().right() < form->Panel2->width());
        // The glyphs differ from one another.
        for (int i = 1; i < leftToRight.size(); ++i)
            QVERIFY(leftToRight.at(i)->Glyph() != leftToRight.at(i - 1)->Glyph());

        QCOMPARE(form->BtnTestar->nextInFocusChain(), form->BtnConectar);
        QCOMPARE(form->BtnConectar->nextInFocusChain(), form->BtnCancelar);
        QCOMPARE(form->BtnCancelar->nextInFocusChain(), form->BtnTools);
        QCOMPARE(form->BtnTools->nextInFocusChain(), form->BtnPing);
    }

    void themeLoadedBeforeEveryShowing()
    {
        auto form = NewForm();
        QCOMPARE(form->Tema->ThemeColors(), tcAzul);
        QCOMPARE(form->Tema->GradientType(), gtRadialTL);
        form->FormShow();
        QCOMPARE(form->Tema->ThemeColors(), tcPreto);
        QCOMPARE(form->Tema->GradientType(), gtLight);

        TIniFile theme(form->Tema->SettingsFilePath());
        theme.WriteInteger(QStringLiteral("TEMA"), QStringLiteral("COLOR"), int(tcVerde));
        theme.WriteInteger(QStringLiteral("TEMA"), QStringLiteral("GRADTYPE"), int(gtLinearV));
        form->FormShow();
        QCOMPARE(form->Tema->ThemeColors(), tcVerde);
        QCOMPARE(form->Tema->GradientType(), gtLinearV);
    }

    void advancedAreaHeightsAndCentring()
    {
        auto form = NewForm();
        form->FormShow();
        const int collapsed = form->PNAV->y() + form->Panel2->height() + 75;
        QCOMPARE(collapsed, 361); // at design size
        QCOMPARE(form->OuterHeight(), collapsed);
        QCOMPARE(form->y(), HalfOf(ScreenHeight(*form) - collapsed));
        QVERIFY(!form->CkConfig->isEnabled());
        QVERIFY(form->LblAV->isHidden());
        form->show();
        // Only the button is left of the advanced area.
        const QRect client = form->rect();
        const QRect button(form->SpeedButton1->mapTo(form.get(), QPoint(0, 0)), form->SpeedButton1->size());
        const QRect group(form->GroupBox1->mapTo(form.get(), QPoint(0, 0)), form->GroupBox1->size());
        QVERIFY(form->PnMestre->geometry().contains(button));
        QVERIFY(!group.intersects(form->PnMestre->geometry()));
        QVERIFY(client.contains(form->Panel2->geometry()));

        QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
        QCOMPARE(form->OuterHeight(), 534);
        QCOMPARE(form->height(), 534 - form->NonClientHeight());
        QCOMPARE(form->y(), HalfOf(ScreenHeight(*form) - 534));
        QVERIFY(form->CkConfig->isEnabled());
        QVERIFY(form->LblAV->isVisible());
        const QRect openGroup(form->GroupBox1->mapTo(form.get(), QPoint(0, 0)), form->GroupBox1->size());
        QVERIFY(form->PnMestre->geometry().contains(openGroup));
        const QRect note(form->LblAV->mapTo(form.get(), QPoint(0, 0)), form->LblAV->size());
        QVERIFY(openGroup.contains(note));

        QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
        QCOMPARE(form->OuterHeight(), collapsed);
        QCOMPARE(form->y(), HalfOf(ScreenHeight(*form) - collapsed));
        QVERIFY(!form->CkConfig->isEnabled());

        // Every showing starts collapsed.
        form->SpeedButton1Click();
        form->FormShow();
        QCOMPARE(form->OuterHeight(), collapsed);
    }

    void enablingRules()
    {
        TIniFile ini(Settings());
        ini.WriteString(Section, QStringLiteral("USUARIO"), ScrambleValue(QStringLiteral("GERENTE"), TRESVOLA));
        ini.WriteString(Section, QStringLiteral("SENHA"), ScrambleValue(QStringLiteral("segredo"), TRESVOLA));
        ini.WriteString(Section, QStringLiteral("PORTA"), QStringLiteral("3051"));
        ini.WriteBool(Section, QStringLiteral("USACONFIG"), true);

        auto form = ShownForm();
        QVERIFY(form->CkConfig->isChecked());
        QVERIFY(!form->CkConfig->isEnabled());
        for (QWidget *w : {static_cast<QWidget *>(form->LblUsuario), static_cast<QWidget *>(form->LblSenha),
                           static_cast<QWidget *>(form->LblPorta), static_cast<QWidget *>(form->EdtPorta)})
            QVERIFY(w->isEnabled());
        QVERIFY(!form->EdtUsuario->isEnabled());
        QVERIFY(!form->EdtSenha->isEnabled());
        QCOMPARE(form->EdtUsuario->text(), QStringLiteral("GERENTE"));

        form->SpeedButton1Click();
        QVERIFY(form->EdtUsuario->isEnabled());
        QVERIFY(form->EdtSenha->isEnabled());

        QTest::mouseClick(form->CkConfig, Qt::LeftButton, {}, QPoint(5, form->CkConfig->height() / 2));
        QVERIFY(!form->CkConfig->isChecked());
        for (QWidget *w : {static_cast<QWidget *>(form->LblUsuario), static_cast<QWidget *>(form->EdtUsuario),
                           static_cast<QWidget *>(form->LblSenha), static_cast<QWidget *>(form->EdtSenha),
                           static_cast<QWidget *>(form->LblPorta), static_cast<QWidget *>(form->EdtPorta)})
            QVERIFY(!w->isEnabled());
        // Collapsing and opening again does not bring the edits back unticked.
        form->SpeedButton1Click();
        form->SpeedButton1Click();
        QVERIFY(!form->EdtUsuario->isEnabled());
        QVERIFY(form->EdtIP->isEnabled());

        // A database file on this computer: the host stays disabled.
        const QString local = Folder() + QStringLiteral("Dados/DBEMPRESA.FDB");
        QVERIFY(QDir().mkpath(Folder() + QStringLiteral("Dados")));
        QFile(local).open(QIODevice::WriteOnly);
        form->FormShow();
        QVERIFY(!form->EdtIP->isEnabled());
        form->SpeedButton1Click();
        form->SpeedButton1Click();
        QVERIFY(!form->EdtIP->isEnabled());
    }

    void caminhoIsTheConnectionsString()
    {
        auto form = NewForm();
        form->FormShow();
        form->EdtLocal->setText(QStringLiteral("/dados/ERP.FDB"));
        form->EdtPorta->setText(QStringLiteral("3051"));
        form->CkConfig->setChecked(true);
        form->EdtIP->setText(QStringLiteral("servidor"));
        QCOMPARE(form->Caminho(), QStringLiteral("servidor/3051:/dados/ERP.FDB"));
        form->EdtIP->setText(QStringLiteral("  "));
        QCOMPARE(form->Caminho(), QStringLiteral("127.0.0.1/3051:/dados/ERP.FDB"));
        QCOMPARE(form->EdtIP->text(), QStringLiteral("127.0.0.1"));
        form->EdtPorta->setText(QStringLiteral(" "));
        QCOMPARE(form->Caminho(), QStringLiteral("127.0.0.1:/dados/ERP.FDB"));
        // The connection made after "Conectar F3" builds the same string.
        QCOMPARE(ErpConnectionString(QStringLiteral("servidor"), QStringLiteral("3051"), QStringLiteral("/dados/ERP.FDB")),
                 QStringLiteral("servidor/3051:/dados/ERP.FDB"));
    }

    void testAgainstTheServer()
    {
        RequireServer();
        TFbDatabase db;
        db.Params = {QStringLiteral("user_name=ninguem"), QStringLiteral("password=x"),
                     QStringLiteral("lc_ctype=WIN1252")};
        auto form = NewForm();
        form->Database = &db;
        form->FormShow();
        form->EdtIP->setText(m_fbHost);
        form->EdtLocal->setText(m_fbDatabase);

        // Advanced settings with the server's port (any port the servers
        // were started on): the test goes there, as the connection would.
        form->CkConfig->setChecked(true);
        form->EdtUsuario->setText(QStringLiteral("SYSDBA"));
        form->EdtSenha->setText(m_fbPassword);
        form->EdtPorta->setText(m_fbPort);
        form->BtnTestarClick();
        QCOMPARE(LastMessage(), QStringLiteral("Conexão | Conexão realizada com sucesso!"));
        QCOMPARE(m_messages.last().kind, dkInformation);
        QVERIFY(!db.Connected());
        QCOMPARE(db.DatabaseName, m_fbHost + QLatin1Char('/') + m_fbPort + QLatin1Char(':') + m_fbDatabase);
        QCOMPARE(ParamAt(db, 0), QStringLiteral("user_name=SYSDBA"));
        QCOMPARE(ParamAt(db, 1), QStringLiteral("password=") + m_fbPassword);
        QCOMPARE(ParamAt(db, 2), QStringLiteral("lc_ctype=WIN1252"));

        // A port nobody listens on fails the test as it would fail the
        // connection.
        form->EdtPorta->setText(QString::number(dbtest::ClosedPort()));
        form->BtnTestarClick();
        QCOMPARE(m_messages.last().title, QStringLiteral("Erro ao conectar"));
        QCOMPARE(m_messages.last().kind, dkError);
        QVERIFY(!db.Connected());
        form->EdtPorta->setText(m_fbPort);

        // A wrong password: the server's own words, database closed.
        form->EdtSenha->setText(QStringLiteral("errada"));
        form->BtnTestarClick();
        QCOMPARE(m_messages.last().title, QStringLiteral("Erro ao conectar"));
        QCOMPARE(m_messages.last().kind, dkError);
        QVERIFY(!m_messages.last().text.isEmpty());
        QVERIFY(!db.Connected());

        // Unticked: the defaults, whatever the edits hold.
        form->CkConfig->setChecked(false);
        form->BtnTestarClick();
        QCOMPARE(ParamAt(db, 0), QStringLiteral("user_name=SYSDBA"));
        QCOMPARE(ParamAt(db, 1), QStringLiteral("password=vellowtip"));
        if (m_fbPassword == QStringLiteral("vellowtip"))
            QCOMPARE(LastMessage(), QStringLiteral("Conexão | Conexão realizada com sucesso!"));

        // An open database is closed before the test and stays closed after it.
        form->CkConfig->setChecked(true);
        form->EdtSenha->setText(m_fbPassword);
        db.Open();
        QVERIFY(db.Connected());
        form->EdtLocal->setText(Folder() + QStringLiteral("nao-existe.fdb"));
        form->BtnTestarClick();
        QCOMPARE(m_messages.last().title, QStringLiteral("Erro ao conectar"));
        QVERIFY(!db.Connected());
    }

    void testWithBlankHostUsesTheLocalHost()
    {
        RequireServer();
        if (m_fbHost != QStringLiteral("127.0.0.1"))
            QSKIP("the private server is not on 127.0.0.1");
        TFbDatabase db; // no parameters at all: the two lines are made
        auto form = NewForm();
        form->Database = &db;
        form->FormShow();
        form->EdtIP->setText(QString());
        form->EdtLocal->setText(m_fbDatabase);
        form->EdtPorta->setText(m_fbPort);
        form->CkConfig->setChecked(true);
        form->EdtUsuario->setText(QStringLiteral("SYSDBA"));
        form->EdtSenha->setText(m_fbPassword);
        form->BtnTestarClick();
        QCOMPARE(form->EdtIP->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(LastMessage(), QStringLiteral("Conexão | Conexão realizada com sucesso!"));
        QCOMPARE(db.Params.size(), 2);
    }

    void testWithBadHostsReportsAndReturns()
    {
        TFbDatabase db;
        db.Params = {QStringLiteral("user_name=a"), QStringLiteral("password=b")};
        auto form = NewForm();
        form->Database = &db;
        form->FormShow();
        form->EdtLocal->setText(Folder() + QStringLiteral("nao-existe.fdb"));
        const QStringList hosts{QStringLiteral("127.0.0.1:3050"), QStringLiteral("127.0.0.1:/tmp"),
                                // Loopback, where no server listens.
                                QStringLiteral("127.0.0.2")};
        for (const QString &host : hosts) {
            m_messages.clear();
            form->EdtIP->setText(host);
            QElapsedTimer clock;
            clock.start();
            form->BtnTestarClick();
            QVERIFY2(clock.elapsed() < 15000, qPrintable(host));
            QCOMPARE(m_messages.size(), 1);
            QCOMPARE(m_messages.last().title, QStringLiteral("Erro ao conectar"));
            QVERIFY2(!m_messages.last().text.trimmed().isEmpty(), qPrintable(host));
            QVERIFY(!db.Connected());
        }

        // Without a connection object the handler reports it instead of crashing.
        form->Database = nullptr;
        QVERIFY(!Guarded([&] { form->BtnTestarClick(); }));
    }

    void pingMessages()
    {
        auto form = NewForm();
        form->FormShow();
        form->PingTimeout = 2000;

        form->EdtIP->setText(QStringLiteral("127.0.0.1"));
        form->BtnPingClick();
        QCOMPARE(m_messages.last().title, QStringLiteral("Sucesso"));
        QCOMPARE(m_messages.last().kind, dkInformation);
        static const QRegularExpression success(
            QStringLiteral("^Ping realizado com sucesso!\rTempo de resposta: \\d+ ms$"));
        QVERIFY2(success.match(m_messages.last().text).hasMatch(), qPrintable(m_messages.last().text));

        form->EdtIP->setText(QString());
        form->BtnPingClick();
        QCOMPARE(LastMessage(), QStringLiteral("Erro | O IP  parece não estar acessível!"));
        QCOMPARE(m_messages.last().kind, dkError);
        QCOMPARE(form->EdtIP->text(), QString()); // the ping does not fill the host in

        for (const QString &host : {QStringLiteral("   "), QStringLiteral("127.0.0.1:3050"),
                                    QStringLiteral("127.0.0.1/dados"), QStringLiteral("servidor inexistente")}) {
            form->EdtIP->setText(host);
            QElapsedTimer clock;
            clock.start();
            form->BtnPingClick();
            QVERIFY2(clock.elapsed() < 10000, qPrintable(host));
            QCOMPARE(LastMessage(), QStringLiteral("Erro | O IP ") + host + QStringLiteral(" parece não estar acessível!"));
        }
    }

    void toolsButton()
    {
        auto form = ShownForm();
        const QString krelo = Folder() + QStringLiteral("krelo-ran");
        const QString tools = Folder() + QStringLiteral("tools-ran");

        QVERIFY(!Guarded([&] { form->BtnToolsClick(); }));
        QTest::mouseClick(form->BtnTools, Qt::LeftButton);
        QCOMPARE(m_topLevelErrors, QStringList({QStringLiteral("O programa não foi encontrado!"),
                                                QStringLiteral("O programa não foi encontrado!")}));
        QVERIFY(form->isVisible());

        // A folder of that name is not the program.
        QVERIFY(QDir().mkpath(Folder() + QStringLiteral("KreloTools.exe")));
        WriteScript(QStringLiteral("Tools.exe"), tools);
        form->BtnTools->Click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tools), 5000);
        QVERIFY(!QFile::exists(krelo));
        QVERIFY(form->isVisible());

        QVERIFY(QDir(Folder() + QStringLiteral("KreloTools.exe")).removeRecursively());
        QFile::remove(tools);
        WriteScript(QStringLiteral("KreloTools.exe"), krelo);
        form->BtnTools->Click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(krelo), 5000);
        QFile ran(krelo);
        QVERIFY(ran.open(QIODevice::ReadOnly));
        QCOMPARE(ran.readAll().trimmed(), QByteArray("0")); // no parameters
        QTest::qWait(300);
        QVERIFY(!QFile::exists(tools));
        QCOMPARE(m_topLevelErrors.size(), 2);
        QVERIFY(form->isVisible());
    }

    void keys()
    {
        TFbDatabase db;
        db.Params = {QStringLiteral("user_name=a"), QStringLiteral("password=b")};
        auto form = ShownForm();
        form->Database = &db;
        form->PingTimeout = 1000;
        form->EdtLocal->setText(Folder() + QStringLiteral("nao-existe.fdb"));
        QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();

        QTest::keyClick(focus, Qt::Key_F2);
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages.last().title, QStringLiteral("Erro ao conectar"));

        form->EdtIP->setText(QString());
        QTest::keyClick(focus, Qt::Key_F5);
        QCOMPARE(LastMessage(), QStringLiteral("Erro | O IP  parece não estar acessível!"));

        QTest::keyClick(focus, Qt::Key_F4);
        QCOMPARE(m_topLevelErrors, QStringList{QStringLiteral("O programa não foi encontrado!")});
        QVERIFY(form->isVisible());

        // Enter does not connect; other keys reach the field.
        form->EdtIP->setFocus();
        QTest::keyClick(form->EdtIP, Qt::Key_Return);
        QVERIFY(form->isVisible());
        QTest::keyClicks(form->EdtIP, "srv");
        QCOMPARE(form->EdtIP->text(), QStringLiteral("srv"));

        QTest::keyClick(form->EdtIP, Qt::Key_F3);
        QVERIFY(!form->isVisible());
        QCOMPARE(form->result(), int(QDialog::Accepted));

        form->FormShow();
        form->show();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form.get(), Qt::Key_Escape);
        QVERIFY(!form->isVisible());
        QCOMPARE(form->result(), int(QDialog::Rejected));
        QCOMPARE(m_messages.size(), 2);
    }

    void tracePoints()
    {
        auto form = NewForm();
        form->PingTimeout = 500;
        TraceEnabled = true;
        TraceLog.clear();
        const struct {
            std::function<void()> call;
            const char *name;
            const char *code;
        } cases[] = {
            {[&] { form->FormShow(); }, "TFrmKRDBConnect.Avancado", "DBIBXCONECT79"},
            {[&] { form->Caminho(); }, "TFrmKRDBConnect.Caminho : String", "DBIBXCONECT71"},
            {[&] { form->Avancado(true); }, "TFrmKRDBConnect.Avancado", "DBIBXCONECT79"},
            {[&] { Guarded([&] { form->BtnTestarClick(); }); }, "TFrmKRDBConnect.BtnTestarClick", "DBIBXCONECT101"},
            {[&] { form->BtnConectarClick(); }, "TFrmKRDBConnect.BtnConectarClick", "DBIBXCONECT130"},
            {[&] { form->EdtIP->clear(); form->BtnPingClick(); }, "TFrmKRDBConnect.BtnPingClick", "DBIBXCONECT138"},
            {[&] { form->BtnCancelarClick(); }, "TFrmKRDBConnect.BtnCancelarClick", "DBIBXCONECT153"},
            {[&] { Guarded([&] { form->BtnToolsClick(); }); }, "TFrmKRDBConnect.BtnToolsClick", "DBIBXCONECT161"},
            {[&] { form->SpeedButton1->click(); }, "TFrmKRDBConnect.Avancado", "DBIBXCONECT79"},
            {[&] { form->FormKeyDown(Qt::Key_A); }, "TFrmKRDBConnect.FormKeyDown", "DBIBXCONECT178"},
            {[&] { form->CkConfigClick(); }, "TFrmKRDBConnect.CkConfigClick", "DBIBXCONECT215"},
        };
        for (const auto &c : cases) {
            c.call();
            QCOMPARE(LastTraceName, QString::fromLatin1(c.name));
            QCOMPARE(LastTraceCode, QString::fromLatin1(c.code));
        }
        // FormShow and the speed button record their own point before Avancado.
        const QString log = TraceLog.join(QLatin1Char('\n'));
        QVERIFY(log.contains(QStringLiteral("TFrmKRDBConnect.FormShow")));
        QVERIFY(log.contains(QStringLiteral("DBIBXCONECT192")));
        QVERIFY(log.contains(QStringLiteral("TFrmKRDBConnect.SpeedButton1Click")));
        QVERIFY(log.contains(QStringLiteral("DBIBXCONECT171")));
        TraceEnabled = false;
        TraceLog.clear();
    }
};

DBTEST_MAIN(TstConnectDialog)
#include "tst_connect_dialog.moc"
