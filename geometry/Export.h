#pragma once

// The geometry classes are exported from a shared library; the suit library supplies the
// rotation builders and constants, so their declarations carry the import/export marks too.
#if defined(_WIN32)
#define TELVO_GEOMETRY_API __declspec(dllexport)
#else
#define TELVO_GEOMETRY_API __attribute__((visibility("default")))
#endif
