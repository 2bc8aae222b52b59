// Files compiled into the plug-in: the factory presets under data/presets/
// and the user manual under data/manual/. A build step (data/embed_files.cmake)
// turns every such file into bytes of a generated source, so that a copied
// ondix.so carries them with it.
#pragma once

#include <span>
#include <string_view>

struct EmbeddedFile {
    std::string_view path;  // relative to data/, with '/': "presets/Bass/Deep.ondix"
    std::string_view bytes; // the file's contents
};

// Every embedded file, ordered by path (byte order).
std::span<const EmbeddedFile> embeddedFiles();

// The file at path; nullptr when there is none.
const EmbeddedFile* findEmbeddedFile(std::string_view path);
