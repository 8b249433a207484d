// The reseller branding files as a reseller (or a damaged disk) may leave
// them: DBRDATA.DAT (scrambled) or REVF.INI (plain). Reading the caption gives
// a text or reports a corrupt file; it never crashes.
#include "erp/kr_revenda.h"
#include "fuzz_support.h"
#include "system/app_env.h"
#include "system/kr_message.h"

#include <QFile>

namespace {

bool setUp()
{
    SetExecutableFolderForTesting(fuzz::Folder());
    // A corrupt file shows a message and ends the program: here both only
    // note that it happened.
    SetMessagePresenter([](const MessageRequest &) { return MessageOutcome{}; });
    SetEndProgramNowForTesting([] {});
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = setUp();
    (void)ready;
    fuzz::Input in(data, size);
    const bool scrambled = in.Byte() & 1;
    const QString dataFile = fuzz::Folder() + QStringLiteral("DBRDATA.DAT");
    const QString captionFile = fuzz::Folder() + QStringLiteral("REVF.INI");
    QFile::remove(dataFile);
    QFile::remove(captionFile);
    fuzz::WriteFile(scrambled ? dataFile : captionFile, in.Rest());
    try {
        RevendaCaptionPanel(QStringLiteral("NORVA"));
    } catch (const std::exception &) {
        // A data file that cannot be read or a caption file that cannot be
        // written is reported to the caller.
    }
    return 0;
}
