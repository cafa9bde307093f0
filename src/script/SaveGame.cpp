#include "script/SaveGame.h"

#include <vector>

#include "AtomicFileWriter.h"
#include "Assert.h"

bool SaveGame::writeInt32(FILE* file, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  const unsigned char bytes[4] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                                  static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
  return std::fwrite(bytes, 1, 4, file) == 4;
}

bool SaveGame::readInt32(FILE* file, int32_t& value) {
  unsigned char bytes[4];
  if (std::fread(bytes, 1, 4, file) != 4) return false;
  value = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                               static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
  return true;
}

bool SaveGame::writeGlobalVariables(FILE* file, const GlobalVariables& variables) {
  bool ok = writeInt32(file, static_cast<int32_t>(variables.size()));
  for (const auto& entry : variables) {
    ok = ok && writeInt32(file, static_cast<int32_t>(entry.first.size()));
    ok = ok && std::fwrite(entry.first.data(), 1, entry.first.size(), file) == entry.first.size();
    ok = ok && writeInt32(file, entry.second);
  }
  return ok;
}

bool SaveGame::writeFile(const std::string& name, const Player::Record& player, const GlobalVariables& variables) {
  AtomicFileWriter out(name);
  FILE* file = out.getStream();
  if (file == nullptr) {
    showProblem("Cannot create the save game file '" + name + "': " + out.getProblem());
    return false;
  }
  const bool isWritten = Player::writeRecord(file, player) && writeGlobalVariables(file, variables);
  if (isWritten && out.commit()) return true;
  const std::string reason = out.isOk() ? "the data could not be written" : out.getProblem();
  showProblem("Cannot write the save game file '" + name + "': " + reason);
  return false;
}

namespace {

// Bytes left between the file position and the end of the file, or -1 when unknown.
long remainingBytes(FILE* file) {
  const long position = std::ftell(file);
  if (position < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(file);
  std::fseek(file, position, SEEK_SET);
  return end < position ? -1 : end - position;
}

}  // namespace

bool SaveGame::readGlobalVariables(FILE* file, GlobalVariables& variables) {
  long remaining = remainingBytes(file);
  int32_t count = 0;
  if (remaining < 4 || !readInt32(file, count) || count < 0) return false;
  remaining -= 4;
  // Each entry takes at least 8 bytes: a count beyond that is damage, not a table.
  if (static_cast<long>(count) > remaining / 8) return false;

  GlobalVariables table;
  std::string name;
  for (int32_t i = 0; i < count; ++i) {
    int32_t length = 0;
    if (!readInt32(file, length) || length < 0 || static_cast<long>(length) > remaining - 8) return false;
    name.assign(static_cast<size_t>(length), '\0');
    if (length > 0 && std::fread(&name[0], 1, static_cast<size_t>(length), file) != static_cast<size_t>(length))
      return false;
    int32_t value = 0;
    if (!readInt32(file, value)) return false;
    remaining -= 8 + length;
    table[name] = value;
  }
  variables.swap(table);
  return true;
}

std::string SaveGame::defaultName(const std::string& worldFile) {
  size_t slash = worldFile.rfind('/');
  if (slash == std::string::npos) slash = worldFile.rfind('\\');
  const std::string base = slash == std::string::npos ? worldFile : worldFile.substr(slash + 1);
  return base + ".savegame";
}
