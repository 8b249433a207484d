// The ERP connection prompt, offscreen: what it shows, what it enables and how
// it closes. No database is needed.
#include "app/kr_database_formconnect.h"
#include "base/kr_inifile.h"
#include "erp/kr_scramble.h"
#include "support/connect_form.h"
#include "system/app_env.h"
#include "uikit/kr_controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

namespace {
const QString Section = QStringLiteral("IBCONFIG");
}

class TstConnectPrompt : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString Folder() const { return m_dir->path() + QLatin1Char('/'); }
    QString Settings() const { return Folder() + QStringLiteral("conexao.ini"); }

    std::unique_ptr<TFrmKRDBConnect> NewForm() const { return NewConnectForm(Settings()); }

    // Runs Execute with the given action once the dialog is up; a dialog that
    // is still open after five seconds is closed so the test fails, not hangs.
    static bool ExecuteWith(TFrmKRDBConnect &form, const std::function<void()> &action)
    {
        QTimer::singleShot(0, &form, action);
        QTimer::singleShot(5000, &form, [&form] { form.done(-1); });
        return form.Execute();
    }

    static QList<QWidget *> CredentialWidgets(const TFrmKRDBConnect &f)
    {
        return {f.LblUsuario, f.EdtUsuario, f.LblSenha, f.EdtSenha, f.LblPorta, f.EdtPorta};
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        SetExecutableFolderForTesting(m_dir->path());
    }

    void cleanup()
    {
        SetExecutableFolderForTesting({});
        m_dir.reset();
    }

    void defaultsWithoutSettingsFile()
    {
        auto form = NewForm();
        form->FormShow();
        QCOMPARE(form->EdtIP->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(form->EdtLocal->text(), QDir::toNativeSeparators(Folder() + QStringLiteral("Dados/DBEMPRESA.FDB")));
        QVERIFY(form->EdtPorta->text().isEmpty());
        QVERIFY(form->EdtUsuario->text().isEmpty());
        QVERIFY(form->EdtSenha->text().isEmpty());
        QVERIFY(!form->CkConfig->isChecked());
        QVERIFY(form->EdtIP->isEnabled());
        for (QWidget *w : CredentialWidgets(*form))
            QVERIFY(!w->isEnabled());
        QVERIFY(!QFile::exists(Settings())); // showing never writes
        QCOMPARE(form->EdtSenha->echoMode(), QLineEdit::Password);
        QCOMPARE(form->EdtPorta->echoMode(), QLineEdit::Password);
        QCOMPARE(form->EdtUsuario->echoMode(), QLineEdit::Normal);
    }

    void filledFromSettingsOnEveryShowing()
    {
        TIniFile ini(Settings());
        ini.WriteString(Section, QStringLiteral("IP"), QStringLiteral("127.0.0.10"));
        ini.WriteString(Section, QStringLiteral("LOCAL"), QStringLiteral("D:\\ERP\\Dados\\DBEMPRESA.FDB"));
        ini.WriteString(Section, QStringLiteral("PORTA"), QStringLiteral("3051"));
        const QString storedUser = ScrambleValue(QStringLiteral("GERENTE"), TRESVOLA);
        ini.WriteString(Section, QStringLiteral("USUARIO"), storedUser);
        ini.WriteString(Section, QStringLiteral("SENHA"), ScrambleValue(QStringLiteral("s3nh@"), TRESVOLA));
        ini.WriteBool(Section, QStringLiteral("USACONFIG"), true);
        const QByteArray before = [&] { QFile f(Settings()); f.open(QIODevice::ReadOnly); return f.readAll(); }();

        auto form = NewForm();
        form->FormShow();
        QCOMPARE(form->EdtIP->text(), QStringLiteral("127.0.0.10"));
        QCOMPARE(form->EdtPorta->text(), QStringLiteral("3051"));
        QCOMPARE(form->EdtUsuario->text(), QStringLiteral("GERENTE"));
        QVERIFY(form->EdtUsuario->text() != storedUser);
        QCOMPARE(form->EdtSenha->text(), QStringLiteral("s3nh@"));
        QVERIFY(form->CkConfig->isChecked());
        // The user and password edits wait for the advanced area to open.
        for (QWidget *w : CredentialWidgets(*form))
            QCOMPARE(w->isEnabled(), w != form->EdtUsuario && w != form->EdtSenha);
        form->SpeedButton1Click();
        for (QWidget *w : CredentialWidgets(*form))
            QVERIFY(w->isEnabled());

        // What was typed is dropped by the next showing.
        form->EdtUsuario->setText(QStringLiteral("outro"));
        form->CkConfig->setChecked(false);
        form->FormShow();
        QCOMPARE(form->EdtUsuario->text(), QStringLiteral("GERENTE"));
        QVERIFY(form->CkConfig->isChecked());
        QFile f(Settings());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);

        // A preset wins once, then the file again.
        TConnectEntries preset;
        preset.Host = QStringLiteral("127.0.0.20");
        preset.User = QStringLiteral("digitado");
        form->PresetEntries(preset);
        form->FormShow();
        QCOMPARE(form->EdtIP->text(), QStringLiteral("127.0.0.20"));
        QCOMPARE(form->EdtUsuario->text(), QStringLiteral("digitado"));
        form->FormShow();
        QCOMPARE(form->EdtIP->text(), QStringLiteral("127.0.0.10"));
    }

    void damagedStoredUserFailsTheShowing()
    {
        TIniFile(Settings()).WriteString(Section, QStringLiteral("USUARIO"), QStringLiteral("ABCD"));
        auto form = NewForm();
        QVERIFY_THROWS_EXCEPTION(KrError, form->Execute());
        QVERIFY(!form->isVisible());
    }

    void hostDisabledForLocalFile()
    {
        const QString local = Folder() + QStringLiteral("Dados/DBEMPRESA.FDB");
        QVERIFY(QDir().mkpath(Folder() + QStringLiteral("Dados")));
        QFile(local).open(QIODevice::WriteOnly);
        TIniFile(Settings()).WriteString(Section, QStringLiteral("LOCAL"), local);
        auto form = NewForm();
        form->FormShow();
        QVERIFY(!form->EdtIP->isEnabled());

        // A folder is not a database file.
        TIniFile(Settings()).WriteString(Section, QStringLiteral("LOCAL"), Folder());
        form->FormShow();
        QVERIFY(form->EdtIP->isEnabled());
    }

    void checkBoxSwitchesTheCredentials()
    {
        auto form = NewForm();
        form->FormShow();
        form->show();
        form->SpeedButton1Click(); // the check box is only reachable with the advanced area open
        QTest::mouseClick(form->CkConfig, Qt::LeftButton, {}, QPoint(5, form->CkConfig->height() / 2));
        QVERIFY(form->CkConfig->isChecked());
        for (QWidget *w : CredentialWidgets(*form))
            QVERIFY(w->isEnabled());
        QTest::mouseClick(form->CkConfig, Qt::LeftButton, {}, QPoint(5, form->CkConfig->height() / 2));
        for (QWidget *w : CredentialWidgets(*form))
            QVERIFY(!w->isEnabled());
        QVERIFY(form->EdtIP->isEnabled());
    }

    void closingResults()
    {
        auto form = NewForm();
        QVERIFY(ExecuteWith(*form, [&] {
            form->EdtIP->setText(QStringLiteral("srv"));
            form->EdtUsuario->setText(QStringLiteral("ana"));
            QTest::keyClick(form->EdtIP, Qt::Key_F3);
        }));
        const TConnectEntries e = form->Entries();
        QCOMPARE(e.Host, QStringLiteral("srv"));
        QCOMPARE(e.User, QStringLiteral("ana"));
        QCOMPARE(e.DatabasePath, QDir::toNativeSeparators(Folder() + QStringLiteral("Dados/DBEMPRESA.FDB")));

        QVERIFY(!ExecuteWith(*form, [&] { QTest::keyClick(form->EdtLocal, Qt::Key_Escape); }));
        QCOMPARE(form->result(), int(QDialog::Rejected));
        QVERIFY(ExecuteWith(*form, [&] { form->BtnConectar->Click(); }));
        QVERIFY(!ExecuteWith(*form, [&] { form->BtnCancelar->Click(); }));
        QVERIFY(!ExecuteWith(*form, [&] { form->close(); }));
        QCOMPARE(form->result(), int(QDialog::Rejected));
        // Enter in a field does not connect by accident.
        QVERIFY(!ExecuteWith(*form, [&] {
            QTest::keyClick(form->EdtIP, Qt::Key_Return);
            if (form->isVisible())
                form->BtnCancelar->Click();
        }));
        QCOMPARE(form->BtnConectar->Caption(), QStringLiteral("Conectar F3"));
        QCOMPARE(form->BtnCancelar->Caption(), QStringLiteral("Cancelar ESC"));
    }

    void factorySetsTheGlobalInstance()
    {
        InstallConnectPrompt();
        TKRDBManager manager;
        TFbDatabase db;
        db.Params = {QStringLiteral("user_name=a"), QStringLiteral("password=b")};
        manager.Database = &db;
        manager.DefaultDatabaseFile = QStringLiteral("DBEMPRESA.FDB");
        manager.SettingsFile = Settings();
        manager.EndApplication = [] {};
        QPointer<TFrmKRDBConnect> seen;
        bool shown = false;
        QTimer::singleShot(0, [&] {
            seen = FrmKRDBConnect;
            shown = FrmKRDBConnect && FrmKRDBConnect->isVisible();
            if (FrmKRDBConnect)
                FrmKRDBConnect->BtnCancelar->Click();
        });
        QVERIFY(!manager.Connect(true));
        QVERIFY(shown);
        QVERIFY(FrmKRDBConnect == nullptr);
        QVERIFY(seen.isNull()); // released when Connect ended
        QVERIFY(!QFile::exists(Settings()));
        SetConnectPromptFactory({});
    }
};

QTEST_MAIN(TstConnectPrompt)
#include "tst_connect_prompt.moc"
