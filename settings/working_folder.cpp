#include "settings/working_folder.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "settings/atomic_file.h"
#include "settings/com_file.h"
#include "settings/ini_file.h"

namespace fs = std::filesystem;

namespace {

bool hasSettings(const fs::path& folder) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        std::string name = e.path().filename().string();
        if (name.rfind("kiv_", 0) == 0 && name.size() > 8 && name.compare(name.size() - 4, 4, ".txt") == 0)
            return true;
    }
    return false;
}

// No receiver at start (COM0) and the maps beside the settings: what a
// missing file means, written out so the user finds what to edit.
int prepare(const fs::path& folder, std::string* error) {
    std::error_code ec;
    fs::create_directories(folder / "Maps", ec);
    if (ec) {
        *error = "cannot create " + (folder / "Maps").string() + ": " + ec.message();
        return 0;
    }
    if (hasSettings(folder)) return 1;
    const char com[] = "COM0\nSmall\n", ini[] = "Maps=./Maps\n";
    if (!write_file_atomically((folder / KIV_COM_FILE).c_str(), com, strlen(com)) ||
        !write_file_atomically((folder / KIV_INI_FILE).c_str(), ini, strlen(ini))) {
        *error = "cannot write the settings files in " + folder.string();
        return 0;
    }
    return 1;
}

}  // namespace

int settings_working_folder(const char* named, const char* current, std::string* folder, std::string* error) {
    if (named && named[0]) {
        *folder = named;
    } else if (current && hasSettings(current)) {
        *folder = current;
        return 1;
    } else {
        const char* data = getenv("XDG_DATA_HOME");
        const char* home = getenv("HOME");
        // A relative XDG_DATA_HOME is to be ignored, as the base directory rules say.
        if (data && data[0] == '/') {
            *folder = (fs::path(data) / "kiv").string();
        } else if (home && home[0]) {
            *folder = (fs::path(home) / ".local/share/kiv").string();
        } else {
            *error = "neither XDG_DATA_HOME nor HOME is set: name a folder with --workdir";
            return 0;
        }
    }
    return prepare(*folder, error);
}
