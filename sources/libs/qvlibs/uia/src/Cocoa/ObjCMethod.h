#pragma once

#include <objc/runtime.h>

namespace QV::UIA::COCOA {

// Methods of classes built at run time are plain functions of their own
// signature; the runtime takes them as IMP. The detour over void (*)() says
// that the cast is meant.
template <typename Function>
IMP asIMP(Function function)
{
    return reinterpret_cast<IMP>(reinterpret_cast<void (*)()>(function));
}

// Chains a method to the superclass of the object's own class, as every
// method of a built class must: its name and place are chosen at run time.
inline IMP superImplementation(id self, SEL command)
{
    return class_getMethodImplementation(class_getSuperclass(object_getClass(self)), command);
}

} // namespace QV::UIA::COCOA
