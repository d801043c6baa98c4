#pragma once
// The data folder as the environment names it at this moment: $XDG_DATA_HOME when it
// is an absolute path, else $HOME/.local/share, without a trailing separator. The
// program's own files use the value of the start of the run (CommonAppDataPath); the
// desktop's trash follows the environment as it is.
#include <QString>

namespace DataFolder {
QString Now();
}
