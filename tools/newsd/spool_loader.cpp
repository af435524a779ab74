// Loading a spool folder into the store: the optional "groups" file, then one article per file.
#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "news_store_impl.h"
#include "news_time.h"

namespace harbeat::newsd {

namespace {

namespace fs = std::filesystem;

std::vector<std::string> splitFields(const std::string &line, std::size_t maxFields) {
    std::vector<std::string> fields;
    std::size_t position = 0;
    while (position < line.size()) {
        position = line.find_first_not_of(" \t", position);
        if (position == std::string::npos) break;
        if (fields.size() + 1 == maxFields) {
            std::string rest = line.substr(position);
            rest.erase(rest.find_last_not_of(" \t") + 1);
            fields.push_back(std::move(rest));
            break;
        }
        const std::size_t end = line.find_first_of(" \t", position);
        fields.push_back(line.substr(position, end - position));
        position = end;
    }
    return fields;
}

bool readWholeFile(const fs::path &path, std::string &text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream contents;
    contents << file.rdbuf();
    text = std::move(contents).str();
    return !file.bad();
}

// "name created y|n [first-number [description]]"
void loadGroupsFile(NewsStore &store, const fs::path &path, SpoolLoadResult &result) {
    std::ifstream file(path);
    std::string line;
    for (std::size_t lineNumber = 1; std::getline(file, line); ++lineNumber) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        const std::string where = path.string() + ":" + std::to_string(lineNumber) + ": ";
        const std::vector<std::string> fields = splitFields(line, 5);
        if (fields.size() < 3) {
            result.problems.push_back(where + "expected \"name created y|n [first-number [description]]\"");
            continue;
        }
        const auto created = parseSpoolTime(fields[1]);
        if (!created) {
            result.problems.push_back(where + "unreadable creation time \"" + fields[1] + "\"");
            continue;
        }
        if (fields[2] != "y" && fields[2] != "n") {
            result.problems.push_back(where + "posting flag must be y or n");
            continue;
        }
        std::uint64_t first = 1;
        if (fields.size() >= 4) {
            const auto parsed = std::from_chars(fields[3].data(), fields[3].data() + fields[3].size(), first);
            if (parsed.ec != std::errc() || parsed.ptr != fields[3].data() + fields[3].size() || first < 1) {
                result.problems.push_back(where + "unreadable first article number \"" + fields[3] + "\"");
                continue;
            }
        }
        try {
            if (store.addGroup(fields[0], *created, fields[2] == "y", first, fields.size() == 5 ? fields[4] : "")) {
                ++result.groupsAdded;
            }
        } catch (const std::invalid_argument &error) {
            result.problems.push_back(where + error.what());
        }
    }
}

bool isArticleFile(const fs::directory_entry &entry, const fs::path &groupsFile) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.front() == '.' || name.back() == '~') return false;
    std::error_code error;
    return entry.is_regular_file(error) && entry.path() != groupsFile;
}

}  // namespace

SpoolLoadResult NewsStore::loadSpool(const std::filesystem::path &folder) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) throw std::runtime_error("spool folder " + folder.string() + " not found");
    SpoolLoadResult result;
    const fs::path groupsFile = folder / "groups";
    if (fs::is_regular_file(groupsFile, error)) loadGroupsFile(*this, groupsFile, result);

    std::vector<fs::path> articles;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    if (error) throw std::runtime_error("cannot read spool folder " + folder.string() + ": " + error.message());
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error) break;
        if (it->path().filename().string().starts_with('.')) {
            if (it->is_directory(error)) it.disable_recursion_pending();
            continue;
        }
        if (isArticleFile(*it, groupsFile)) articles.push_back(it->path());
    }
    if (error) result.problems.push_back(folder.string() + ": " + error.message());
    std::sort(articles.begin(), articles.end());
    for (const fs::path &path : articles) {
        std::string text;
        if (!readWholeFile(path, text)) {
            result.problems.push_back(path.string() + ": cannot read the file");
            continue;
        }
        try {
            addArticle(std::move(text));
            ++result.articlesLoaded;
        } catch (const std::invalid_argument &refusal) {
            result.problems.push_back(path.string() + ": " + refusal.what());
        }
    }
    return result;
}

}  // namespace harbeat::newsd
