#pragma once
// How the instrument's USB interface becomes registry pipes: pipe N is the N-th endpoint
// of interface 0 in descriptor order (pipe 0 bulk OUT for commands, 1 bulk IN for
// replies, 3 OUT and 4 IN for the byte counter), as the Windows bulk driver numbers them.
// Pure, so it can be checked without a device.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessera::driver {

struct Pipe {
    int number = 0;
    std::uint8_t endpoint = 0;  // address with the direction bit (0x80 = IN)
    bool in = false;
    int maxPacket = 64;
};

struct EndpointInfo {
    std::uint8_t address = 0;
    std::uint8_t attributes = 0;  // transfer type in bits 0..1; 2 = bulk
    int maxPacket = 64;
};

inline std::vector<Pipe> MapPipes(const std::vector<EndpointInfo>& endpoints) {
    std::vector<Pipe> pipes;
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        const auto& e = endpoints[i];
        if ((e.attributes & 0x03) != 0x02) continue;  // only bulk endpoints carry pipes
        pipes.push_back({static_cast<int>(i), e.address, (e.address & 0x80) != 0, e.maxPacket > 0 ? e.maxPacket : 64});
    }
    return pipes;
}

// The pipe that carries the answers to what is written on `outPipe`: the next IN pipe in
// number order (commands on 0 are answered on 1, the counter's byte on 3 on 4). -1: none.
inline int ReplyPipe(const std::vector<Pipe>& pipes, int outPipe) {
    int best = -1;
    for (const auto& p : pipes)
        if (p.in && p.number > outPipe && (best < 0 || p.number < best)) best = p.number;
    return best;
}

// The registry entry name of a device: its bus and port path, stable while it stays in
// the same socket ("usb-1-2.3"), so two instruments keep their order between plugs.
inline std::string EntryName(int bus, const std::vector<int>& ports) {
    std::string name = "usb-" + std::to_string(bus) + "-";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i) name += '.';
        name += std::to_string(ports[i]);
    }
    if (ports.empty()) name += '0';
    return name;
}

}  // namespace tessera::driver
