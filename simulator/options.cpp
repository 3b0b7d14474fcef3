// SPDX-License-Identifier: MIT
#include "simulator/options.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
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

struct Valued {
    const char* takes; // what the option's value must be, for messages
    std::function<bool(const std::string&, Options&)> apply;
};

// Sets an int member from a whole number no smaller than `minimum`.
Valued number(int Options::*member, long long minimum, const char* takes)
{
    return {takes, [=](const std::string& text, Options& options) {
                const auto value = wholeNumber(text, minimum);
                if (value && *value <= 1000000)
                    options.*member = static_cast<int>(*value);
                return value && *value <= 1000000;
            }};
}

const std::map<std::string, Valued>& valuedOptions()
{
    static const std::map<std::string, Valued> options = {
        {"--reply",
         {"text", [](const std::string& text, Options& o) { return o.reply = text, true; }}},
        {"--pieces", number(&Options::pieces, 1, "a whole number from 1")},
        {"--pause", number(&Options::pauseMs, 0, "a whole number of milliseconds")},
        {"--stream",
         {"a whole number of milliseconds",
          [](const std::string& text, Options& o) {
              const auto every = wholeNumber(text, 0);
              if (every && *every <= 1000000)
                  o.streamEveryMs = static_cast<int>(*every);
              return every && *every <= 1000000;
          }}},
        {"--flood",
         {"text, frame or random",
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
          }}},
        {"--bytes",
         {"a whole number from 1",
          [](const std::string& text, Options& o) {
              const auto bytes = wholeNumber(text, 1);
              if (bytes)
                  o.streamBytes = static_cast<std::size_t>(*bytes);
              return bytes.has_value();
          }}},
    };
    return options;
}

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
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::optional<std::string> value;
        if (const auto equals = option.find('=');
            option.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.resize(equals);
        }
        const auto valued = valuedOptions().find(option);
        if (valued != valuedOptions().end()) {
            if (!value && i + 1 < arguments.size())
                value = arguments[++i];
            if (!value)
                return option + " needs a value: " + valued->second.takes;
            if (!valued->second.apply(*value, options))
                return option + " takes " + valued->second.takes + ", not \"" + *value + "\"";
        } else if (option == "--twice" && !value) {
            options.answers = 2;
        } else if (option == "--silent" && !value) {
            options.silent = true;
        } else {
            return "unknown option " + arguments[i];
        }
    }
    return std::nullopt;
}

} // namespace kestran::simulator
