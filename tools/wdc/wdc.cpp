// SPDX-License-Identifier: GPL-3.0-or-later
// vantora-wdc: compiles a window description into a definition resource.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "windows/description.h"
#include "windows/writer.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vantora-wdc DESCRIPTION OUTPUT\n"
                 "Compiles a window description into a definition resource (the tag, a NUL, then "
                 "the definition).\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "vantora-wdc: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  vantora::windows::DescriptionError error;
  std::optional<vantora::windows::DefinitionSet> set =
      vantora::windows::ParseDescription(text.str(), &error);
  if (!set) {
    std::cerr << argv[1] << ":" << error.line << ": " << error.message << "\n";
    return 1;
  }
  std::vector<uint8_t> bytes = vantora::windows::WriteDefinitionSet(*set);
  // Reading the result back catches a writer fault at build time rather than at run time.
  vantora::windows::LookupError why = vantora::windows::LookupError::None;
  std::optional<vantora::windows::DefinitionSet> back =
      vantora::windows::ReadDefinitionSet(bytes, &why);
  if (!back || *back != *set) {
    std::cerr << "vantora-wdc: the compiled definition does not read back ("
              << vantora::windows::LookupErrorText(why) << ")\n";
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    std::cerr << "vantora-wdc: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
