// SPDX-License-Identifier: MIT
#include "simulator/options.h"

#include <cerrno>
#include <cstdlib>
#include <getopt.h>
#include <iterator>
#include <map>

namespace kestran::simulator {

namespace {

std::optional<long long> wholeNumber(const std::string& text, long long minimum)
{
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || parsed < minimum ||
        parsed > 1000000000000LL)
        return std::nullopt;
    return parsed;
}

// What each option's value must be, for messages; and how it is taken.
struct Valued {
    const char* name;
    const char* takes;
    bool (*apply)(const std::string& text, Options& options);
};

bool intWithin(const std::string& text, long long minimum, int& into)
{
    const auto value = wholeNumber(text, minimum);
    if (value && *value <= 1000000)
        into = static_cast<int>(*value);
    return value && *value <= 1000000;
}

const Valued valuedOptions[] = {
    {"reply", "text", [](const std::string& text, Options& o) { return o.reply = text, true; }},
    {"pieces", "a whole number from 1",
     [](const std::string& text, Options& o) { return intWithin(text, 1, o.pieces); }},
    {"pause", "a whole number of milliseconds",
     [](const std::string& text, Options& o) { return intWithin(text, 0, o.pauseMs); }},
    {"stream", "a whole number of milliseconds",
     [](const std::string& text, Options& o) {
         int every = 0;
         return intWithin(text, 0, every) && (o.streamEveryMs = every, true);
     }},
    {"flood", "text, frame or random",
     [](const std::string& text, Options& o) {
         static const std::map<std::string, StreamShape> shapes = {
             {"text", StreamShape::text},
             {"frame", StreamShape::endlessFrame},
             {"random", StreamShape::random}};
         const auto shape = shapes.find(text);
         if (shape == shapes.end())
             return false;
         o.streamShape = shape->second;
         o.streamEveryMs = 0;
         return true;
     }},
    {"bytes", "a whole number from 1",
     [](const std::string& text, Options& o) {
         const auto bytes = wholeNumber(text, 1);
         if (bytes)
             o.streamBytes = static_cast<std::size_t>(*bytes);
         return bytes.has_value();
     }},
};
// getopt_long's values: the valued options from here on, by their place above.
constexpr int firstValued = 1000, twice = 100, silent = 101;

} // namespace

std::string usage()
{
    return "usage: kestran-device [options]\n"
           "Opens a pseudo-terminal, prints the name of the port to open in KESTRAN,\n"
           "and answers every frame (STX payload CR) with STX payload CR LF.\n"
           "  --reply TEXT   answer with TEXT as the payload instead of the one received\n"
           "  --pieces N     send every answer in N pieces\n"
           "  --pause MS     wait MS milliseconds between pieces (default 100)\n"
           "  --twice        answer every frame twice\n"
           "  --silent       never answer\n"
           "  --stream MS    also send a line without STX every MS milliseconds (0: flood)\n"
           "  --flood SHAPE  also send, as fast as the line takes it, a stream of SHAPE:\n"
           "                 text (lines without STX), frame (one STX, never a CR)\n"
           "                 or random (random bytes other than STX)\n"
           "  --bytes N      end the stream after N bytes; print \"streamed half\" halfway\n"
           "                 and \"streamed N bytes\" at the end\n"
           "  --version      print the version\n"
           "  --help         show this text\n"
           "Options take their value as --option VALUE or --option=VALUE.\n"
           "Memory stays bounded: of a frame the first 64 KiB are kept, and at most\n"
           "1 MiB of answers waits for a terminal that does not read; the rest is\n"
           "dropped and counted.\n";
}

std::optional<std::string> parseOptions(const std::vector<std::string>& arguments, Options& options)
{
    std::vector<option> known;
    for (int i = 0; i < int(std::size(valuedOptions)); ++i)
        known.push_back({valuedOptions[i].name, required_argument, nullptr, firstValued + i});
    known.push_back({"twice", no_argument, nullptr, twice});
    known.push_back({"silent", no_argument, nullptr, silent});
    known.push_back({nullptr, 0, nullptr, 0});
    std::vector<std::string> words = {"kestran-device"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    optind = 0; // from the start, whatever was parsed before
    opterr = 0; // the messages are ours
    for (int found; (found = getopt_long(static_cast<int>(words.size()), argv.data(),
                                         "-:", known.data(), nullptr)) != -1;) {
        const std::string given = argv[static_cast<std::size_t>(optind - 1)];
        const Valued* valued = (found == ':' ? optopt : found) >= firstValued
                                   ? &valuedOptions[(found == ':' ? optopt : found) - firstValued]
                                   : nullptr;
        if (found == ':' && valued)
            return given + " needs a value: " + valued->takes;
        if (found == twice)
            options.answers = 2;
        else if (found == silent)
            options.silent = true;
        else if (!valued)
            return "unknown option " + given;
        else if (!valued->apply(optarg, options))
            return "--" + std::string(valued->name) + " takes " + valued->takes + ", not \"" +
                   optarg + "\"";
    }
    if (optind < static_cast<int>(words.size())) // a word after "--" is no option either
        return "unknown option " + words[static_cast<std::size_t>(optind)];
    return std::nullopt;
}

} // namespace kestran::simulator
