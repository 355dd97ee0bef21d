#include "output_file.h"

#include "stale_writes.h"

namespace vantrel {

using platform::IoError;
using platform::Kind;
using platform::Reason;

JetError OutputError(const IoError& e, const std::string& path) {
    switch (e.reason) {
        case Reason::notFound: case Reason::pathNotFound: return err::pathNotFound();
        case Reason::noSpace: return err::diskFull();
        case Reason::permission: return err::pathFileAccess();
        case Reason::isFolder: return err::pathFileAccess("'" + path + "' is a folder");
        case Reason::noReader: return err::pathFileAccess("'" + path + "' is a FIFO nothing reads from");
        default: return err::deviceIo(e.systemText);
    }
}

namespace {
JetError refusedKind(const std::string& path, const char* what) {
    return err::pathFileAccess("'" + path + "' is " + what + ", not a file: it is left as it is");
}
bool folderThere(platform::Env& env, const std::string& path) {
    try {
        return env.info(env.folderOf(path)).kind == Kind::folder;
    } catch (const IoError&) {
        return false;
    }
}
}  // namespace

void RefuseOutputOverDatabase(const std::string& output, const std::string& database, platform::Env& env) {
    platform::FileInfo out, db;
    try {
        out = env.info(output);
        if (out.kind != Kind::regular) return;
        db = env.info(database);
    } catch (const IoError& e) {
        throw OutputError(e, output);
    }
    if (db.kind == Kind::regular && db.id == out.id)
        throw err::pathFileAccess("'" + output + "' is the database '" + database + "' itself: it is left as it is");
}

void RemoveOldOutput(const std::string& path, platform::Env& env) {
    try {
        if (env.info(path).kind == Kind::regular) env.remove(path);
    } catch (const IoError&) {
    }
}

OutputFile::OutputFile(const std::string& path, OnFailure onFailure, platform::Env& env, ErrorMap errors)
    : env_(env), path_(path), onFailure_(onFailure), errors_(errors ? errors : &OutputError) {
    if (path.empty()) throw err::badFileName();
    platform::FileInfo info;
    try {
        info = env_.info(path);
    } catch (const IoError& e) {
        throw errors_(e, path);
    }
    if (info.systemName) {
        if (info.kind == Kind::missing)
            throw err::pathFileAccess("'" + path + "' would be a new name in the system's own folders");
        if (info.kind == Kind::regular) {
            writePath_ = path;  // appended to where it leads, never replaced
            return;
        }
    }
    switch (info.kind) {
        case Kind::device:
            writePath_ = path;
            return;
        case Kind::fifo:
            writePath_ = path;
            try {
                held_ = env_.open(path, platform::Open::append);
            } catch (const IoError& e) {
                throw errors_(e, path);
            }
            return;
        case Kind::folder: throw refusedKind(path, "a folder");
        case Kind::other: throw refusedKind(path, "a socket or other special file");
        case Kind::missing:
        case Kind::regular: break;
    }
    RemoveStaleWrites(path, env_);
    writePath_ = path + ".writing-" + std::to_string(env_.processId());
    try {
        if (env_.info(writePath_).kind == Kind::regular) env_.remove(writePath_);  // left by a crash
        env_.open(writePath_, platform::Open::createOrTruncate);
    } catch (const IoError& e) {
        if (e.reason == Reason::pathNotFound && folderThere(env_, path))  // the name is what the system refuses
            throw err::pathFileAccess("'" + path + "' cannot be written whole: the system refuses its temporary name '" +
                                      writePath_ + "' (" + e.systemText + ")");
        throw errors_(e, path);
    }
}

void OutputFile::finish() {
    done_ = true;
    held_.reset();
    if (inPlace()) return;
    try {
        env_.open(writePath_, platform::Open::readWrite)->sync();
        env_.rename(writePath_, path_);
        env_.syncFolder(env_.folderOf(path_));
    } catch (const IoError& e) {
        try {
            env_.remove(writePath_);
        } catch (const IoError&) {
        }
        throw errors_(e, path_);
    }
}

const std::string& OutputFile::commit() {
    if (!done_) finish();
    return path_;
}

OutputFile::~OutputFile() {
    if (done_) return;
    held_.reset();
    if (inPlace()) return;
    try {
        if (onFailure_ == OnFailure::keepPartial) {
            if (env_.info(writePath_).size > 0) {
                finish();
                return;
            }
            // Nothing was written: the old file goes all the same, no empty one comes.
            env_.remove(writePath_);
            RemoveOldOutput(path_, env_);
        } else {
            env_.remove(writePath_);
        }
    } catch (...) {
    }
}

}  // namespace vantrel
