#include "file_walk.h"

#include "../process/platform.h"
#include "../survey/base/sample_input.h"

#include <algorithm>

namespace
{

struct listed_entry {
    std::string name;
    platform_entry_kind kind;
    int error;
};

void collect(void* context, const char* name, platform_entry_kind kind, int error)
{
    static_cast<std::vector<listed_entry>*>(context)->push_back({name, kind, error});
}

std::string reason_of(int error)
{
    char text[256];
    platform_describe_error(error, text, sizeof text);
    return text;
}

std::string joined(const std::string& directory, const std::string& name)
{
    return directory.back() == '/' ? directory + name : directory + "/" + name;
}

void walk(const std::string& directory, std::vector<run_file>& files)
{
    std::vector<listed_entry> entries;
    if (!platform_list_directory(directory.c_str(), collect, &entries))
        files.push_back({directory, reason_of(platform_last_error())});
    // Compared as unsigned bytes, whatever the locale.
    std::sort(entries.begin(), entries.end(),
              [](const listed_entry& a, const listed_entry& b) { return a.name < b.name; });
    for (listed_entry& entry : entries) {
        if (platform_interrupted())
            return;
        std::string path = joined(directory, entry.name);
        // A directory of millions of files is not held twice: each name
        // goes as its path is made.
        std::string().swap(entry.name);
        switch (entry.kind) {
        case platform_entry_kind::regular:
            files.push_back({std::move(path), std::nullopt});
            break;
        case platform_entry_kind::directory:
            walk(path, files);
            break;
        case platform_entry_kind::unreadable:
            files.push_back({std::move(path), reason_of(entry.error)});
            break;
        case platform_entry_kind::link:
        case platform_entry_kind::other:
            break;
        }
    }
}

} // namespace

std::vector<run_file> files_to_survey(const std::vector<const char*>& names)
{
    std::vector<run_file> files;
    for (const char* name : names) {
        if (platform_interrupted())
            break;
        if (!names_standard_input(name) && *name != '\0' && platform_is_directory(name))
            walk(name, files);
        else
            files.push_back({name, std::nullopt});
    }
    return files;
}
