#pragma once
// Which ERP product is installed beside the executable: each product keeps
// its own settings file in its installation folder.
#include <QString>
#include <QtGlobal>

struct TProdutoNorva {
    const char *SettingsFile;
    const char *DisplayName;
};

inline constexpr TProdutoNorva ProdutosNorva[] = {
    {"norvacomercio.ini", "NORVA COMERCIO"},
    {"norvacomercioplus.ini", "NORVA COMERCIO PLUS"},
    {"norvaservicos.ini", "NORVA SERVICOS"},
    {"norvalojainfo.ini", "NORVA LOJA"},
    {"norvaoficina.ini", "NORVA OFICINA"},
    {"norvaloca.ini", "NORVA LOCACAO"},
    {"norvabebidas.ini", "NORVA BEBIDAS"},
    {"norvapadaria.ini", "NORVA PADARIA"},
    {"norvamarmitex.ini", "NORVA MARMITEX"},
    {"norvasalao.ini", "NORVA SALAO"},
    {"norvavidro.ini", "NORVA VIDRO"},
    {"norvanota.ini", "NORVA NOTA"},
    {"norvapizzaria.ini", "NORVA PIZZARIA"},
    {"conexao.ini", "NORVA GESTAO COMERCIAL"},
};

struct TProdutoDetectado {
    QString Path; // full path of the settings file; empty when none was found
    QString Name; // the product's display name; empty when none was found
};

// Every row is tried in order; when several files exist the last one wins.
TProdutoDetectado DetectProduct(const QString &folder);

// The hide switch's wait for the database server: 40 s, or
// CATRACA_STARTUP_WAIT_MS milliseconds when that is set to a number >= 0.
int StartupWaitMs();
