#include "app/product_detection.h"

#include <QFileInfo>

TProdutoDetectado DetectProduct(const QString &folder)
{
    TProdutoDetectado found;
    for (const TProdutoNorva &p : ProdutosNorva) {
        const QString path = folder + QString::fromLatin1(p.SettingsFile);
        if (QFileInfo(path).isFile()) {
            found.Path = path;
            found.Name = QString::fromLatin1(p.DisplayName);
        }
    }
    return found;
}

int StartupWaitMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("CATRACA_STARTUP_WAIT_MS", &ok);
    return ok && ms >= 0 ? ms : 40000;
}
