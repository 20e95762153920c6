#pragma once

#include <QString>

class ServerContent;

// What lands where when another party pushes a file: whatever the offered path says,
// the file goes directly into the download folder, under its last "/"-separated name.
class IncomingFile {
public:
    // The name part of an offered path; empty with the reason when it is no usable name
    // (empty, ".", "..", a NUL or a backslash, longer than 255 bytes).
    static QString nameOf(const QString& offeredPath, QString* reason);
    // Chooses the path for that name in folder (made if missing), by the rule every
    // download lands by (FileLanding): the name itself, or "a (1).txt", ... when
    // something of that name, or a part that is not this offer's, is there. Two offers of
    // one name get two files; a part this party's earlier fetch of the same path left is
    // taken up again. Nothing is created here. Empty, with the reason, when no name is free.
    static QString targetIn(const QString& folder, const QString& name, const ServerContent& from,
        const QString& remotePath, QString* reason = nullptr);
};
