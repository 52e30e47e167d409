#pragma once
// What record_args needs of the system, in record_args_<system>.cpp.

#include <string>

// The program's own folder, with a separator at the end; empty when unknown.
std::string ownFolder();

// Appends `bytes` to the file in one write, creating it; false on failure.
bool appendInOneWrite(const std::string& path, const std::string& bytes);
