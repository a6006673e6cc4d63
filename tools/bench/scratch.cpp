// SPDX-License-Identifier: GPL-3.0-or-later
#include "scratch.h"

#include "benchconstants.h"
#include "failure.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace kestavo::bench
{

namespace fs = std::filesystem;

Scratch::Scratch()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kestavo-bench.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw systemFailure("Cannot create a scratch directory " + pattern,
                            "Check that TMPDIR or /tmp is writable");
    m_root = pattern;
    std::error_code error;
    fs::create_directories(portTable(), error);
    if (!error)
        fs::create_directories(workingDirectory(), error);
    if (error)
        throw Failure("Cannot create directories in " + m_root.string() + ": " + error.message());
    const fs::path portFile = workingDirectory() / std::string(view(constants::kPortFileName));
    std::ofstream out(portFile, std::ios::binary);
    out << kPortFileContent;
    out.close();
    if (!out)
        throw Failure("Cannot write " + portFile.string());
}

Scratch::~Scratch()
{
    std::error_code error;
    fs::remove_all(m_root, error);
    if (error)
        std::fprintf(stderr, "kestavo-bench: could not remove %s: %s; remove it by hand\n",
                     m_root.c_str(), error.message().c_str());
}

fs::path Scratch::portTable() const
{
    return configHome() / std::string(view(constants::kConfigSubdir)) /
           std::string(view(constants::kPortTableSubdir));
}

void Scratch::pointPortAt(const std::string& device) const
{
    const fs::path entry = portTable() / (std::string(view(constants::kPortTablePrefix)) +
                                          std::to_string(kPortNumber));
    std::error_code error;
    fs::remove(entry, error);
    fs::create_symlink(device, entry, error);
    if (error)
        throw Failure("Cannot link " + entry.string() + " to " + device + ": " + error.message());
}

std::string logTail(const fs::path& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    constexpr std::size_t kShown = 10;
    std::string tail;
    for (std::size_t i = lines.size() > kShown ? lines.size() - kShown : 0; i < lines.size(); ++i)
        tail += "  | " + lines[i] + '\n';
    return tail.empty() ? "  (its log is empty)\n" : tail;
}

} // namespace kestavo::bench
