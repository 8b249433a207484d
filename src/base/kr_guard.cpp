#include "base/kr_guard.h"

#include <QDebug>

namespace {
TopLevelErrorDisplay &display()
{
    static TopLevelErrorDisplay d;
    return d;
}
} // namespace

QString ErrorMessageOf(const std::exception &e)
{
    if (const auto *kr = dynamic_cast<const KrError *>(&e))
        return kr->message();
    return QString::fromLocal8Bit(e.what());
}

void SetTopLevelErrorDisplay(TopLevelErrorDisplay d)
{
    display() = std::move(d);
}

void ShowTopLevelError(const QString &message)
{
    qWarning().noquote() << "Erro:" << message;
    if (!display())
        return;
    // A display that itself fails must not take the event loop down with it.
    try {
        display()(message);
    } catch (...) {
    }
}
