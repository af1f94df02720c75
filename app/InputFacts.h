#pragma once

#include <QString>
#include <string>
#include <vector>

#include "gif/GifInfo.h"

// What a scan of the dialog's input found: the single GIF, its frames as the movie's rules make
// them, or the GIF files of a batch folder.
struct InputFacts {
    bool batch = false;
    QString path;      // the GIF or the folder scanned
    FrameRules rules;  // a single GIF's frames follow them
    GifInfo gif;       // a single GIF
    std::vector<std::string> files;  // a batch folder's GIF files, or the files chosen
    std::string listError;           // why the folder could not be listed
    // A batch of files handed over one by one (and the GIFs of folders among them); path is
    // the first one's folder.
    bool chosen = false;
};
