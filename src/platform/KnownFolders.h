// KnownFolders.h: the folders the Windows design asks the shell for (roaming and local application
// data, ProgramData, the Windows folder, Documents, the temporary folder) and the running executable's
// own path. Each folder is read from its environment variable first (an empty or relative value counts
// as unset), then the Linux default. Every folder is returned WITHOUT a trailing "/" ("/" itself stays
// "/"). Any thread; nothing throws; nothing is created on disk.
#pragma once
#include <QString>

namespace Platform {

QString HomeFolder();            // $HOME, else the account's home folder (getpwuid)
QString RoamingAppDataFolder();  // $XDG_CONFIG_HOME, else ~/.config
QString LocalAppDataFolder();    // $XDG_DATA_HOME, else ~/.local/share
QString ProgramDataFolder();     // $BL_PROGRAMDATA, else /var/lib
QString WindowsFolder();         // $BL_WINDIR, else /usr
// $XDG_DOCUMENTS_DIR, else XDG_DOCUMENTS_DIR from user-dirs.dirs in the roaming folder (as the
// desktop writes it, e.g. "$HOME/Dokumente"), else ~/Documents.
QString DocumentsFolder();
// The user's temporary path (GetTempPath): $TMPDIR, else /tmp. The program's own temporary folder
// with its "BLTemp" override and write probe is built on top of this elsewhere.
QString UserTempFolder();

// The running binary with symbolic links resolved (/proc/self/exe); empty when it cannot be read.
QString ExecutableFilePath();
QString ExecutableFolder();     // its folder
QString ExecutableFileName();   // "file name with extension": "RQCatalog"
QString ExecutableBaseName();   // the file name without its extension: "RQCatalog"

}  // namespace Platform
