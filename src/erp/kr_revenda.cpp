#include "erp/kr_revenda.h"

#include "base/bounded_read.h"
#include "base/kr_cp1252.h"
#include "base/kr_error.h"
#include "base/kr_inifile.h"
#include "base/kr_trace.h"
#include "erp/kr_scramble.h"
#include "system/app_env.h"
#include "system/kr_message.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace {

// The data file holds a few kilobytes; a larger one is not ours.
constexpr qint64 MaxDataFileSize = 4 * 1024 * 1024;

QString dataFilePath()
{
    return ExecutableFolder() + QStringLiteral("DBRDATA.DAT");
}

QString captionFilePath()
{
    return ExecutableFolder() + QStringLiteral("REVF.INI");
}

// Text files go by their byte-order mark, else by the Windows code page.
QString decodeText(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    const bool littleEndian = bytes.startsWith("\xFF\xFE");
    if (littleEndian || bytes.startsWith("\xFE\xFF")) {
        QString text;
        for (qsizetype i = 2; i + 1 < bytes.size(); i += 2) {
            const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
            text.append(QChar(char16_t(littleEndian ? a | (b << 8) : (a << 8) | b)));
        }
        return text;
    }
    return DecodeWindows1252(bytes);
}

// Lines end at CR LF, CR or LF; a break at the very end starts no new line.
QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(begin, i - begin);
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        begin = i + 1;
    }
    if (begin < text.size())
        lines << text.mid(begin);
    return lines;
}

QStringList loadLines(const QString &path)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        throw KrError(QStringLiteral("Não foi possível abrir o arquivo %1.").arg(path));
    const QByteArray bytes = ReadAtMost(file, MaxDataFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw KrError(QStringLiteral("Não foi possível ler o arquivo %1.").arg(path));
    if (bytes.size() > MaxDataFileSize)
        throw KrError(QStringLiteral("O arquivo %1 é grande demais.").arg(path));
    return splitLines(decodeText(bytes));
}

void saveLines(const QString &path, const QStringList &lines)
{
    QByteArray out;
    for (const QString &line : lines) {
        QByteArray bytes;
        if (!EncodeWindows1252(line, bytes))
            throw KrError(QStringLiteral("O arquivo %1 não pode guardar o texto da revenda.").arg(path));
        out += bytes + "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit())
        throw KrError(QStringLiteral("Não foi possível gravar o arquivo %1.").arg(path));
}

void abortCorrupt()
{
    ShowErrorMessage(QStringLiteral("Erro"), QStringLiteral("Arquivo de configurações corrompido, interrompendo programa!"));
    EndProgramNow();
}

bool onlyBlanks(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() > 32)
            return false;
    return true;
}

} // namespace

void RevendaExtractFile()
{
    const QString data = dataFilePath();
    if (!QFileInfo::exists(data))
        return;
    QString whole;
    for (const QString &line : loadLines(data))
        whole += line + QStringLiteral("\r\n");
    if (onlyBlanks(whole))
        return abortCorrupt();
    QString plain;
    try {
        plain = UnscrambleValue(whole, RevendaScrambleKey);
    } catch (const KrError &) {
        return abortCorrupt();
    }
    saveLines(captionFilePath(), splitLines(plain));
}

QString RevendaFile()
{
    TracePoint("RevendaFile : String", "INIFILE486");
    RevendaExtractFile();
    return captionFilePath();
}

QString RevendaCaptionPanel(const QString &def)
{
    TracePoint("RevendaCaptionPanel", "INIFILE385");
    RevendaExtractFile();
    try {
        const QString path = RevendaFile();
        return LoadConfigFile(path, QStringLiteral("REVENDA"), QStringLiteral("CAPTIONPANEL"), def).toString();
    } catch (const std::exception &) {
        abortCorrupt();
    }
    return def;
}
