// A Terminal driven by a fuzzed script of reactions and chunks must show the
// same lines and write the same frames as the literal transcription.

#include "check.h"
#include "support/fakes.h"
#include "support/literal.h"
#include "terminal/terminal.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

using kestran::terminal::CommEvent;

struct Script {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;

    bool done() const { return at >= size; }
    std::uint8_t next() { return done() ? 0 : data[at++]; }
    std::string take(std::size_t count)
    {
        count = std::min(count, size - at);
        std::string bytes(reinterpret_cast<const char*>(data + at), count);
        at += count;
        return bytes;
    }
};

struct Side {
    kestran::testing::FakePort port;
    kestran::testing::FakeWindow window;
    Side() { port.open = true; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Script script{data, size};
    Side ours;
    Side theirs;
    kestran::terminal::Terminal terminal(ours.port, ours.window);
    kestran::literal::LiteralTerminal reference(theirs.port, theirs.window);
    const auto both = [&](auto&& change) {
        change(ours);
        change(theirs);
    };

    while (!script.done()) {
        const std::uint8_t op = script.next();
        switch (op % 6) {
        case 0:
        case 1: { // a chunk arrives
            const std::string chunk = script.take(op / 6 % 16 + 1);
            both([&](Side& side) {
                side.port.event = CommEvent::comEvReceive;
                side.port.waiting = chunk;
            });
            terminal.onComm();
            reference.onComm();
            break;
        }
        case 2: { // the operator sends what is typed
            const std::string typed = script.take(op / 6 % 24);
            both([&](Side& side) { side.window.typed = typed; });
            terminal.onSend();
            reference.onSend();
            break;
        }
        case 3:
            FUZZ_CHECK(ours.window.lines() == theirs.window.lines());
            terminal.onClear();
            reference.onClear();
            break;
        case 4: // a notification that is not a reception
            both([&](Side& side) {
                side.port.event = CommEvent::comEvLineState;
                side.port.waiting = "\x02x\r";
            });
            terminal.onComm();
            reference.onComm();
            both([&](Side& side) { side.port.waiting.clear(); });
            break;
        case 5:
            both([&](Side& side) { side.port.open = !side.port.open; });
            break;
        }
        FUZZ_CHECK(ours.window.list.size() == theirs.window.list.size());
        FUZZ_CHECK(ours.port.written == theirs.port.written);
    }
    FUZZ_CHECK(ours.window.lines() == theirs.window.lines());
    return 0;
}
