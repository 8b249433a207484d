#pragma once
// The test side of fault_proxy: starts it in front of a server and sends it
// commands (see tests/support/fault_proxy.cpp).
#include <QProcess>
#include <QString>
#include <QtGlobal>

class TFaultProxy
{
public:
    ~TFaultProxy()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            if (!m_process.waitForFinished(2000))
                m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    // False when the proxy could not be started or did not say its port.
    bool Start(const QString &host, quint16 port)
    {
        const QString binary = qEnvironmentVariable("CATRACA_FAULT_PROXY");
        if (binary.isEmpty())
            return false;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(binary, {host, QString::number(port)});
        if (!m_process.waitForStarted(5000))
            return false;
        const QByteArray line = ReadLine();
        if (!line.startsWith("port "))
            return false;
        m_port = quint16(line.mid(5).trimmed().toUInt());
        return m_port != 0;
    }
    quint16 Port() const { return m_port; }

    // Sends one command; true once the proxy confirmed it.
    bool Command(const QString &command)
    {
        m_process.write(command.toUtf8() + '\n');
        return ReadLine().trimmed() == "ok " + command.toUtf8();
    }

private:
    QByteArray ReadLine()
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(5000))
                return QByteArray();
        }
        return m_process.readLine();
    }

    QProcess m_process;
    quint16 m_port = 0;
};
