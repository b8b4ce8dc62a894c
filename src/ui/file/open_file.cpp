// The open file's own lifetime: what it runs ends with it.
#include "ui/file/open_file.h"

#include "ui/file/load_job.h"
#include "ui/file/save_job.h"

namespace sealkeep {

OpenFile::OpenFile(StatusRow& status, AccountTree& tree, WindowSettings& settings)
    : status(status), tree(tree), settings(settings)
{
}

OpenFile::~OpenFile()
{
    // A save still running is stopped before its rename: the file stays as it was.
    save.reset();
    file_monitor.reset();
    loaded_file.reset(); // its passphrase is overwritten as it goes
    end_all_loads(*this);
}

} // namespace sealkeep
