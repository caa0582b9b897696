#include "engine/in_out_error.h"

#include <cerrno>

namespace spurfix {

EInOutError EInOutError::FromErrno(int errnoValue) {
    switch (errnoValue) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case EINVAL:
            return {3, "Ungültiger Dateiname"};
        case EMFILE:
        case ENFILE:
            return {4, "Zu viele geöffnete Dateien"};
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return {5, "Dateizugriff verweigert"};
        case ENOSPC:
        case EDQUOT:
            return {101, "Zu wenig Speicherplatz"};
        case EFBIG:
            // 223 as the platform's "file too large".
            return {223, "Die Datei überschreitet die erlaubte Dateigröße"};
        case ELOOP:
            return {1921, "Die Verknüpfung führt im Kreis und nennt keine Datei"};
        default:
            return {errnoValue, "E/A-Fehler " + std::to_string(errnoValue)};
    }
}

}  // namespace spurfix
