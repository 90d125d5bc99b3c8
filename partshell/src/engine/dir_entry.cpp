#include "partshell/dir_entry.h"

namespace partshell {

std::string EntryDisplayName(const std::uint8_t* e) {
  std::string name(reinterpret_cast<const char*>(e + DIR_Name), 8);
  std::string ext(reinterpret_cast<const char*>(e + DIR_Ext), 3);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!ext.empty() && ext.back() == ' ') ext.pop_back();
  return ext.empty() ? name : name + "." + ext;
}

}  // namespace partshell
