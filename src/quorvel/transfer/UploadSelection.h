#pragma once

#include <QStringList>

// What to send when a person picks or drops paths: files as they are, and each folder as
// the files inside it (its subfolders too, without following links out of it). Every
// path that gives nothing comes back with a reason, so that nothing is dropped silently.
class UploadSelection {
public:
    // More files than this in one folder is most likely the wrong folder.
    static constexpr int MaxFilesPerFolder = 1000;

    static UploadSelection collect(const QStringList& paths);

    QStringList files;
    // One line per path left out: "<path>: <why>".
    QStringList problems;
};
