#include "dozo/fileio/status.h"

namespace dozo::fileio {

const char* describe(Status status) {
    switch (status) {
        case Status::ok:
            return "ok";
        case Status::sourceOpen:
            return "source cannot be opened";
        case Status::workCreate:
            return "work file cannot be created";
        case Status::read:
            return "read error";
        case Status::write:
            return "write error";
        case Status::destinationReadOnly:
            return "destination is read-only";
        case Status::destinationCreate:
            return "no file can be created beside the destination";
        case Status::replace:
            return "destination cannot be replaced";
        case Status::sourceChanged:
            return "source changed while it was read";
    }
    return "unknown";
}

}  // namespace dozo::fileio
