#include "ExtractFirstFile.h"

#include <mspack.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

const char *reason(int error)
{
    switch (error) {
    case MSPACK_ERR_ARGS: return "bad arguments";
    case MSPACK_ERR_OPEN: return "cannot open the file";
    case MSPACK_ERR_READ: return "read error";
    case MSPACK_ERR_WRITE: return "write error";
    case MSPACK_ERR_SEEK: return "seek error";
    case MSPACK_ERR_NOMEMORY: return "out of memory";
    case MSPACK_ERR_SIGNATURE: return "not a cabinet";
    case MSPACK_ERR_DATAFORMAT: return "malformed cabinet";
    case MSPACK_ERR_CHECKSUM: return "checksum error";
    case MSPACK_ERR_DECRUNCH: return "corrupt compressed data";
    }
    return "unknown error";
}

struct Decompressor
{
    mscab_decompressor *cabd = mspack_create_cab_decompressor(nullptr);
    mscabd_cabinet *cabinet = nullptr;
    ~Decompressor()
    {
        if (cabinet)
            cabd->close(cabd, cabinet);
        if (cabd)
            mspack_destroy_cab_decompressor(cabd);
    }
};

} // namespace

bool extractFirstFile(const std::string &cabinetPath, const std::string &target,
                      std::string &error)
{
    int selftest = MSPACK_ERR_OK;
    MSPACK_SYS_SELFTEST(selftest);
    if (selftest != MSPACK_ERR_OK) {
        error = "libmspack does not match this program";
        return false;
    }

    Decompressor d;
    if (!d.cabd) {
        error = "cannot start the cabinet decompressor";
        return false;
    }
    d.cabinet = d.cabd->open(d.cabd, cabinetPath.c_str());
    if (!d.cabinet) {
        const int code = d.cabd->last_error(d.cabd);
        // A file too short for a cabinet header fails as a read.
        if (code == MSPACK_ERR_READ || code == MSPACK_ERR_OK)
            error = cabinetPath + ": not a cabinet, or a truncated one";
        else
            error = cabinetPath + ": " + reason(code);
        return false;
    }
    mscabd_file *first = d.cabinet->files;
    if (!first) {
        error = cabinetPath + ": no file in the cabinet";
        return false;
    }

    std::string partial = target + ".XXXXXX";
    const int fd = mkstemp(partial.data());
    if (fd < 0) {
        error = target + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    const int code = d.cabd->extract(d.cabd, first, partial.c_str());
    if (code != MSPACK_ERR_OK) {
        std::remove(partial.c_str());
        error = cabinetPath + ": " + first->filename + ": " + reason(code);
        return false;
    }
    if (std::rename(partial.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        std::remove(partial.c_str());
        error = target + ": " + std::strerror(renameError);
        return false;
    }
    return true;
}
