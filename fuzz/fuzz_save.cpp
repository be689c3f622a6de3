// The whole save command over arbitrary entries, file names and answers, writing only
// inside a folder of its own: a written file holds exactly the composed track, a file the
// user did not agree to replace keeps its bytes, no half-written file is left behind, and
// every failure the user did not choose is told.
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/StoreNumber.h"
#include "core/Utf8.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzMount.h"
#include "trackfile/SaveCommand.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;

namespace {

constexpr std::string_view kOldBytes = "old track\r\n";

class ScriptedUi : public SaveCommandUi {
  public:
    void ShowError(const std::string&) override { errorShown = true; }
    void SetDeltaXCaption(const std::string&) override {}
    void SetDeltaYCaption(const std::string&) override {}
    std::optional<std::string> ChooseTrackFile(const std::string&) override { return file; }
    bool ConfirmOverwrite() override {
        asked = true;
        return replace;
    }
    std::string TimeIntervalText() override { return interval; }
    bool AllEntriesStored() override { return allStored; }

    std::string interval;
    std::optional<std::string> file;  // nullopt: the user cancels the chooser
    bool replace = false;
    bool allStored = true;
    bool errorShown = false;
    bool asked = false;
};

// The fuzzer's own folder, removed when it exits.
const std::string& Folder() {
    static QTemporaryDir folder(QDir::tempPath() + "/pelindra-fuzz-XXXXXX");
    static const std::string path = folder.path().toStdString();
    return path;
}

std::optional<std::string> Contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ScriptedUi ui;
    ui.interval = input.Next();
    TrackParams params;
    float* fields[] = {&params.Motion, &params.PA, &params.PixSize, &params.TotalTime,
                       &params.TimeInterval};
    const std::string texts[] = {input.Next(), input.Next(), input.Next(), input.Next(),
                                 ui.interval};
    for (int i = 0; i < 5; ++i) {
        if (StoreNumber(texts[i], *fields[i], ui) != StoreResult::Stored) ui.allStored = false;
    }
    TakeMount(input, params);
    params.Directory = input.Next();
    const std::uint8_t choices = input.Byte();
    const std::string_view separators[] = {".", ",", "\xD9\xAB"};  // U+066B, Arabic
    const std::string_view separator = separators[(choices >> 3) % 3];

    // The chooser answers with a name in the folder, as text (so valid UTF-8); a leading
    // letter keeps it from being "." or "..".
    std::string name = "t" + QString::fromUtf8(input.Next()).toStdString();
    std::erase(name, '/');
    const std::string path = Folder() + "/" + name;
    if (choices & 1) std::ofstream(path, std::ios::binary) << kOldBytes;
    const bool existed = Contents(path).has_value();  // not when the name is too long
    if (!(choices & 2)) ui.file = path;
    ui.replace = choices & 4;
    ui.errorShown = false;  // an "Overflow" from typing above is not the save's to tell

    TrackParams composed = params;
    ScriptedUi quiet = ui;
    // An unusable remembered folder is told, and the chooser starts elsewhere.
    const bool folderTold = !IsValidUtf8(params.Directory);
    const SaveResult result = SaveTrackFile(params, ui, separator);
    const std::optional<std::string> contents = Contents(path);

    FUZZ_CHECK(!ui.asked || existed);
    if (result == SaveResult::Written) {
        FUZZ_CHECK(!ui.errorShown || folderTold);
        FUZZ_CHECK(!existed || (ui.asked && ui.replace));
        FUZZ_CHECK(params.Directory == Folder());
        FUZZ_CHECK(contents == ComposeTrackFile(composed, quiet, separator));
    } else {
        const bool userChose = !ui.file || (ui.asked && !ui.replace);
        FUZZ_CHECK(ui.errorShown || userChose);
        FUZZ_CHECK(existed ? contents == kOldBytes : !contents);
    }
    // Nothing but the chosen file: no temporary file left beside it.
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
        FUZZ_CHECK(entry.path().filename() == name);
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return 0;
}
