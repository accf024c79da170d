// A photo's state as the scan reads it.
#include "engine/safereplace.h"

#include <QFileInfo>

#include "engine/fileidentity.h"

bool FileState::operator==(const FileState &other) const {
    return exists == other.exists && size == other.size && modified == other.modified &&
           permissions == other.permissions && device == other.device && inode == other.inode &&
           changeTimeNs == other.changeTimeNs;
}

FileState fileStateOf(const QString &path) {
    const QFileInfo info(path);
    FileState state;
    state.exists = info.exists();
    if (state.exists) {
        state.size = info.size();
        state.modified = info.lastModified();
        state.permissions = info.permissions();
        const FileIdentity identity = fileIdentityOf(path);
        state.device = identity.device;
        state.inode = identity.inode;
        state.changeTimeNs = identity.changeTimeNs;
    }
    return state;
}
