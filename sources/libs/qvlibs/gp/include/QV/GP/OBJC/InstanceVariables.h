#pragma once

#include <objc/runtime.h>

#include <cstdint>

namespace QV::GP::OBJC {

// Instance variables of objects of built classes, by name, looked up in the
// object's own class. A variable that does not exist, or whose declared size
// does not fit the access, reads as null or 0 and is not written.
id getIvarPtr(id object, const char* name);
void setIvarPtr(id object, const char* name, id value);
std::uint32_t getIvarUInt32(id object, const char* name);
void setIvarUInt32(id object, const char* name, std::uint32_t value);
float getIvarFloat(id object, const char* name);
void setIvarFloat(id object, const char* name, float value);

} // namespace QV::GP::OBJC
