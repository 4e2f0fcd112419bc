/* Expands SZDD files with libmspack, as a third reader independent of ours
 * and of the peer tools, for the differential checks of szdd_interop.sh.
 *
 *   mspack_expand OUTDIR FILE...
 *
 * Writes OUTDIR/<base name of FILE> for every file it accepts and nothing for
 * one it refuses (one line on standard output says why). Exit status 0 when
 * every file was accepted, 1 otherwise, 2 on a usage error.
 *
 * libmspack decodes until its input ends and never compares the result with
 * the header's length: a truncated file gives a short result, a file with
 * data to spare a long one, both without an error. The LZ library that the
 * installer uses must not accept either, and our decoder refuses both, so a
 * result whose length differs from the header's counts as a refusal here.
 * libmspack also reads a variant with another magic and a 12-byte header
 * that the Windows LZ library does not know; it is refused here too. With
 * these two rules, "accepted" means the same thing for both decoders. */
#include <mspack.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const char* BaseName(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: mspack_expand OUTDIR FILE...\n");
        return 2;
    }
    struct msszdd_decompressor* szdd = mspack_create_szdd_decompressor(NULL);
    if (!szdd) {
        fprintf(stderr, "mspack_expand: cannot create the SZDD decompressor\n");
        return 2;
    }
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        char out[4096];
        if (snprintf(out, sizeof(out), "%s/%s", argv[1], BaseName(argv[i])) >= (int)sizeof(out)) {
            fprintf(stderr, "mspack_expand: path too long\n");
            return 2;
        }
        struct msszddd_header* header = szdd->open(szdd, argv[i]);
        if (!header) {
            printf("%s: refused (header, libmspack error %d)\n", argv[i], szdd->last_error(szdd));
            status = 1;
            continue;
        }
        if (header->format != MSSZDD_FMT_NORMAL) {
            printf("%s: refused (not the Windows LZ format)\n", argv[i]);
            szdd->close(szdd, header);
            status = 1;
            continue;
        }
        int error = szdd->extract(szdd, header, out);
        struct stat st;
        if (error != MSPACK_ERR_OK) {
            printf("%s: refused (data, libmspack error %d)\n", argv[i], error);
            unlink(out);
            status = 1;
        } else if (stat(out, &st) != 0 || (long long)st.st_size != (long long)header->length) {
            printf("%s: refused (expands to %lld bytes, header says %lld)\n", argv[i],
                   (long long)st.st_size, (long long)header->length);
            unlink(out);
            status = 1;
        }
        szdd->close(szdd, header);
    }
    mspack_destroy_szdd_decompressor(szdd);
    return status;
}
