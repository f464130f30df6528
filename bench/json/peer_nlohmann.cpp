// The benchmark peer: parse a JSON file with nlohmann/json and print it
// compactly, as `zelvano-json FILE` does.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include <nlohmann/json.hpp>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: peer_nlohmann FILE\n";
        return 64;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "cannot open " << argv[1] << "\n";
        return 2;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded()) {
        std::cerr << "invalid JSON\n";
        return 1;
    }
    std::string().swap(text);
    std::ios::sync_with_stdio(false);
    std::cout << j << '\n';
    return 0;
}
