#include "base/kr_cp1252.h"
#include "base/kr_error.h"
#include "erp/kr_revenda.h"
#include "erp/kr_scramble.h"
#include "support/file_bytes.h"
#include "system/app_env.h"
#include "system/kr_message.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
struct ProgramEnded {};

using filetest::cp1252;
using filetest::readAll;
using filetest::writeAll;

const QString Corrupt = QStringLiteral("Arquivo de configurações corrompido, interrompendo programa!");
} // namespace

class TstRevenda : public QObject
{
    Q_OBJECT
    QTemporaryDir *m_dir = nullptr;
    QList<MessageRequest> m_messages;
    int m_ends = 0;

    QString file(const QString &name) const { return m_dir->filePath(name); }
    void writeData(const QString &plain, const QByteArray &after = "\r\n")
    {
        writeAll(file("DBRDATA.DAT"), ScrambleValue(plain, RevendaScrambleKey).toLatin1() + after);
    }
    void expectCorruptEnd()
    {
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, RevendaCaptionPanel("Norva"));
        QCOMPARE(m_ends, 1);
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].title, QStringLiteral("Erro"));
        QCOMPARE(m_messages[0].text, Corrupt);
        QCOMPARE(m_messages[0].kind, dkError);
    }

private slots:
    void init()
    {
        m_dir = new QTemporaryDir;
        SetExecutableFolderForTesting(m_dir->path());
        m_messages.clear();
        m_ends = 0;
        SetMessagePresenter([this](const MessageRequest &r) {
            m_messages << r;
            return MessageOutcome{};
        });
        // Nothing after the end of the program may run: leave by an exception.
        SetEndProgramNowForTesting([this] {
            ++m_ends;
            throw ProgramEnded{};
        });
    }
    void cleanup()
    {
        SetEndProgramNowForTesting({});
        SetMessagePresenter({});
        SetExecutableFolderForTesting(QString());
        delete m_dir;
    }

    void withoutFilesTheDefaultStands()
    {
        QCOMPARE(RevendaCaptionPanel("Norva Varejo"), QStringLiteral("Norva Varejo"));
        QCOMPARE(RevendaCaptionPanel(""), QString());
        QCOMPARE(RevendaFile(), QDir::toNativeSeparators(QDir(m_dir->path()).filePath("REVF.INI")));
        QVERIFY(!QFile::exists(file("REVF.INI")));
        QVERIFY(m_messages.isEmpty());
    }

    void previousCaptionFileIsUsed()
    {
        writeAll(file("REVF.INI"), cp1252(QStringLiteral("[REVENDA]\r\nCAPTIONPANEL=Informática São José\r\n")));
        QCOMPARE(RevendaCaptionPanel("Norva"), QStringLiteral("Informática São José"));
        writeAll(file("REVF.INI"), "[REVENDA]\r\nCAPTIONPANEL=\r\n");
        QCOMPARE(RevendaCaptionPanel("Norva"), QString());
        writeAll(file("REVF.INI"), "[REVENDA]\r\nOUTRA=1\r\n");
        QCOMPARE(RevendaCaptionPanel("Norva"), QStringLiteral("Norva"));
    }

    void dataFileRefreshesCaptionFile()
    {
        const QString plain = QStringLiteral("[REVENDA]\nCAPTIONPANEL=Revenda Ção@@13Linha 2\r[OUTRA]\r\nX=1");
        const QByteArray expected = cp1252(QStringLiteral("[REVENDA]\r\nCAPTIONPANEL=Revenda Ção@@13Linha 2\r\n[OUTRA]\r\nX=1\r\n"));
        for (const QByteArray &after : {QByteArray("\r\n"), QByteArray(), QByteArray("\n")}) {
            writeAll(file("REVF.INI"), "[REVENDA]\r\nCAPTIONPANEL=velha\r\n");
            writeData(plain, after);
            QCOMPARE(RevendaCaptionPanel("Norva"), QStringLiteral("Revenda Ção\rLinha 2"));
            QCOMPARE(readAll(file("REVF.INI")), expected);
        }
        // A byte-order mark selects the data file's encoding.
        writeAll(file("DBRDATA.DAT"), "\xEF\xBB\xBF" + ScrambleValue(plain, RevendaScrambleKey).toUtf8());
        QCOMPARE(RevendaCaptionPanel("Norva"), QStringLiteral("Revenda Ção\rLinha 2"));
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(m_ends, 0);
    }

    void emptyLineAfterDataIsCorrupt()
    {
        writeData("[REVENDA]\r\nCAPTIONPANEL=X", "\r\n\r\n");
        expectCorruptEnd();
    }
    void emptyDataIsCorrupt()
    {
        writeAll(file("DBRDATA.DAT"), "");
        writeAll(file("REVF.INI"), "[REVENDA]\r\nCAPTIONPANEL=velha\r\n");
        expectCorruptEnd();
        QCOMPARE(readAll(file("REVF.INI")), QByteArray("[REVENDA]\r\nCAPTIONPANEL=velha\r\n"));
    }
    void blankDataIsCorrupt()
    {
        writeAll(file("DBRDATA.DAT"), " \t\r\n\x01\r\n");
        expectCorruptEnd();
    }
    void garbageDataIsCorrupt()
    {
        writeAll(file("DBRDATA.DAT"), "isto nao e um arquivo embaralhado\r\n");
        expectCorruptEnd();
    }
    void binaryDataIsCorrupt()
    {
        QByteArray junk;
        for (int n = 0; n < 5000; ++n)
            junk.append(char((n * 131) & 0xFF));
        writeAll(file("DBRDATA.DAT"), junk);
        expectCorruptEnd();
    }

    // Failures of the first extraction are the caller's; no message, no end.
    void unreadableDataOrUnwritableCaptionRaise()
    {
        QVERIFY(QDir().mkpath(file("DBRDATA.DAT")));
        QVERIFY_THROWS_EXCEPTION(KrError, RevendaCaptionPanel("Norva"));
        QVERIFY(QDir().rmdir(file("DBRDATA.DAT")));

        writeData("[REVENDA]\r\nCAPTIONPANEL=X");
        QVERIFY(QDir().mkpath(file("REVF.INI") + "/inner"));
        QVERIFY_THROWS_EXCEPTION(KrError, RevendaCaptionPanel("Norva"));
        QVERIFY(QFileInfo(file("REVF.INI") + "/inner").isDir());
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(m_ends, 0);
    }

    void textTheCodePageCannotHoldIsRefused()
    {
        writeData(QStringLiteral("[REVENDA]\r\nCAPTIONPANEL=") + QChar(0x85));
        writeAll(file("REVF.INI"), "[REVENDA]\r\nCAPTIONPANEL=velha\r\n");
        QVERIFY_THROWS_EXCEPTION(KrError, RevendaExtractFile());
        QCOMPARE(readAll(file("REVF.INI")), QByteArray("[REVENDA]\r\nCAPTIONPANEL=velha\r\n"));
    }
};

QTEST_GUILESS_MAIN(TstRevenda)
#include "tst_revenda.moc"
