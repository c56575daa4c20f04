// What the fuzz targets of the file readers share: a private folder to write the input into, so that
// the readers run on a real file through the program's own paths, and a check that stops the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A fresh folder (in /dev/shm when there is one, else the temporary folder), made at the first call
// and removed with its files at exit; ends in '/'.
const std::string &FuzzFolder();

// Writes the bytes as the whole file `path`. Stops the run when that fails: a target that cannot
// write its input tests nothing.
void FuzzWriteFile(const std::string &path, const uint8_t *data, size_t size);

// Stops the run with the message when `ok` is false (libFuzzer keeps the input as a crash).
void FuzzCheck(bool ok, const char *what);
