// EXTRACT CABINET TARGET: writes the first file of a cabinet to TARGET.
#include <mspack.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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

int fail(const std::string &message)
{
    std::fprintf(stderr, "EXTRACT: %s\n", message.c_str());
    return 1;
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

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "Usage: EXTRACT CABINET TARGET\n"
                             "Writes the first file stored in CABINET to TARGET.\n");
        return 2;
    }
    const std::string cabinetPath = argv[1];
    const std::string target = argv[2];

    int selftest = MSPACK_ERR_OK;
    MSPACK_SYS_SELFTEST(selftest);
    if (selftest != MSPACK_ERR_OK)
        return fail("libmspack does not match this program");

    Decompressor d;
    if (!d.cabd)
        return fail("cannot start the cabinet decompressor");
    d.cabinet = d.cabd->open(d.cabd, cabinetPath.c_str());
    if (!d.cabinet) {
        const int error = d.cabd->last_error(d.cabd);
        // A file too short for a cabinet header fails as a read.
        if (error == MSPACK_ERR_READ || error == MSPACK_ERR_OK)
            return fail(cabinetPath + ": not a cabinet, or a truncated one");
        return fail(cabinetPath + ": " + reason(error));
    }
    mscabd_file *first = d.cabinet->files;
    if (!first)
        return fail(cabinetPath + ": no file in the cabinet");

    // Unpack beside the target and rename, so a failure leaves no partial target.
    std::string partial = target + ".XXXXXX";
    const int fd = mkstemp(partial.data());
    if (fd < 0)
        return fail(target + ": " + std::strerror(errno));
    close(fd);
    const int error = d.cabd->extract(d.cabd, first, partial.c_str());
    if (error != MSPACK_ERR_OK) {
        std::remove(partial.c_str());
        return fail(cabinetPath + ": " + first->filename + ": " + reason(error));
    }
    if (std::rename(partial.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        std::remove(partial.c_str());
        return fail(target + ": " + std::strerror(renameError));
    }
    return 0;
}
