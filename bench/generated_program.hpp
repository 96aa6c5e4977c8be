#pragma once
// The large generated program the parser benchmarks read (bench/gen_program.py), made once per
// run: from the file named by KD_BENCH_PROGRAM when set, else by running the generator.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace kdbench {

inline const std::string& generated_program() {
    static const std::string text = [] {
        if (const char* path = std::getenv("KD_BENCH_PROGRAM")) {
            std::ifstream in(path, std::ios::binary);
            if (!in) throw std::runtime_error(std::string("cannot read ") + path);
            std::ostringstream s;
            s << in.rdbuf();
            return s.str();
        }
        const std::string command =
            "/usr/bin/python3 " KD_SOURCE_DIR "/bench/gen_program.py --instructions 1000000";
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
        std::string out;
        char buffer[1 << 16];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        if (pclose(pipe) != 0) throw std::runtime_error("generator failed: " + command);
        return out;
    }();
    return text;
}

}  // namespace kdbench
