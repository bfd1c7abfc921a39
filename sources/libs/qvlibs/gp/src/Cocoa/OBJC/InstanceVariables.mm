#include <QV/GP/OBJC/InstanceVariables.h>

#include <cstring>

namespace QV::GP::OBJC {

namespace {

// The size of a variable from its type encoding, for the encodings the
// users declare (GCC encodes a 64-bit long as 'q'); 0 when unknown.
std::size_t sizeOfEncoding(const char* encoding)
{
    switch (encoding ? encoding[0] : '\0') {
    case '@': case '#': case ':': case '^': case '*':
        return sizeof(void*);
    case 'q': case 'Q': case 'd':
        return 8;
    case 'i': case 'I': case 'l': case 'L': case 'f':
        return 4;
    case 's': case 'S':
        return 2;
    case 'c': case 'C': case 'B':
        return 1;
    default:
        return 0;
    }
}

// The variable of that name in the object's class when an access of the size
// stays inside it; a smaller variable would let the access run past it.
Ivar findIvar(id object, const char* name, std::size_t size)
{
    if (object == nil || !name)
        return nullptr;
    Ivar ivar = class_getInstanceVariable(object_getClass(object), name);
    if (!ivar || sizeOfEncoding(ivar_getTypeEncoding(ivar)) != size)
        return nullptr;
    return ivar;
}

template <typename T>
T readAt(id object, const char* name)
{
    T value{};
    if (Ivar ivar = findIvar(object, name, sizeof(T)))
        std::memcpy(&value, reinterpret_cast<char*>(object) + ivar_getOffset(ivar), sizeof(T));
    return value;
}

template <typename T>
void writeAt(id object, const char* name, T value)
{
    if (Ivar ivar = findIvar(object, name, sizeof(T)))
        std::memcpy(reinterpret_cast<char*>(object) + ivar_getOffset(ivar), &value, sizeof(T));
}

} // namespace

id getIvarPtr(id object, const char* name)
{
    Ivar ivar = findIvar(object, name, sizeof(id));
    return ivar ? object_getIvar(object, ivar) : nil;
}

void setIvarPtr(id object, const char* name, id value)
{
    if (Ivar ivar = findIvar(object, name, sizeof(id)))
        object_setIvar(object, ivar, value);
}

std::uint32_t getIvarUInt32(id object, const char* name)
{
    return readAt<std::uint32_t>(object, name);
}

void setIvarUInt32(id object, const char* name, std::uint32_t value)
{
    writeAt(object, name, value);
}

float getIvarFloat(id object, const char* name)
{
    return readAt<float>(object, name);
}

void setIvarFloat(id object, const char* name, float value)
{
    writeAt(object, name, value);
}

} // namespace QV::GP::OBJC
