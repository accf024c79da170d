// Runs a fuzz target's entry point once over each file named on the command line, and over each
// file in each folder named, where no libFuzzer drives it: so that a build with any compiler
// compiles the targets and CTest exercises them over their seed corpus. Words that start with
// "-" are libFuzzer's options and are passed over. Exits with 1 when it found no input to run, so
// that a corpus that went missing does not pass unseen.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<std::filesystem::path> inputsOf(const std::filesystem::path &named) {
    std::vector<std::filesystem::path> inputs;
    if (!std::filesystem::is_directory(named)) {
        inputs.push_back(named);
        return inputs;
    }
    for (const std::filesystem::directory_entry &entry :
         std::filesystem::directory_iterator(named)) {
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

bool runOn(const std::filesystem::path &input) {
    std::ifstream file(input, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", input.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    std::printf("Running: %s (%zu bytes)\n", input.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    return true;
}

} // namespace

int main(int argc, char **argv) {
    int ran = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.empty() || argument.front() == '-')
            continue;
        for (const std::filesystem::path &input : inputsOf(argument)) {
            if (!runOn(input))
                return 1;
            ++ran;
        }
    }
    std::printf("Executed %d input(s)\n", ran);
    return ran > 0 ? 0 : 1;
}
