#pragma once

#include <string>

// Refuses (CliError) to write `written` when it is the file `read` under any name (itself, a
// symbolic or hard link): the command would destroy what it reads. `role` names `read` in the
// message, such as "the input file". An empty `read` is no file.
void refuseSameFile(const std::string& written, const std::string& read, const char* role);
