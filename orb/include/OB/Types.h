// Basic IDL types as the ORB holds them in memory.
#ifndef OB_TYPES_H
#define OB_TYPES_H

#include <cstdint>

typedef unsigned char CORBA_Octet;
typedef unsigned char CORBA_Boolean;   // 0 false, 1 true
typedef char CORBA_Char;
typedef std::int16_t CORBA_Short;
typedef std::uint16_t CORBA_UShort;
typedef std::int32_t CORBA_Long;
typedef std::uint32_t CORBA_ULong;
typedef float CORBA_Float;
typedef double CORBA_Double;

static_assert(sizeof(CORBA_Float) == 4, "IEEE 754 single expected");
static_assert(sizeof(CORBA_Double) == 8, "IEEE 754 double expected");

#endif
