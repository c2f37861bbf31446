#include "platform/error_text.h"

#include <cerrno>
#include <cstring>

namespace tesmic {

std::string czechErrorText(int error) {
  switch (error) {
    case ENOENT: return "soubor nebo slozka neexistuje";
    case ENOTDIR: return "cast cesty neni slozka";
    case EISDIR: return "je to slozka";
    case EACCES: return "pristup odepren";
    case EPERM: return "operace neni povolena";
    case EROFS: return "souborovy system je jen pro cteni";
    case ENOSPC: return "na disku neni misto";
    case EDQUOT: return "prekrocena diskova kvota";
    case EFBIG: return "soubor by prekrocil povolenou velikost (ulimit -f)";
    case ENAMETOOLONG: return "nazev je prilis dlouhy";
    case ELOOP: return "prilis mnoho symbolickych odkazu za sebou";
    case EIO: return "chyba vstupu a vystupu zarizeni";
    case ENOMEM: return "nedostatek pameti";
    case EMFILE:
    case ENFILE: return "prilis mnoho otevrenych souboru";
    case EMLINK: return "prilis mnoho polozek ve slozce";
    case EXDEV: return "cil lezi na jinem souborovem systemu";
    case EBUSY:
    case ETXTBSY: return "soubor je pouzivan";
    case EAGAIN: return "prostredek je docasne nedostupny";
    case EINTR: return "preruseno signalem";
    case ESTALE: return "sitovy soubor uz neplati";
    default: return std::strerror(error);
  }
}

}  // namespace tesmic
