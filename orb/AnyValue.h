// Internal entry points of the value copy through a TypeCode, carrying the
// nesting depth of the value being read (OBMaxValueDepth).
#ifndef OB_ANY_VALUE_H
#define OB_ANY_VALUE_H

#include <OB/Any.h>

void OBCopyValueAt(CORBA_TypeCode* tc, OBInCursor& in, bool swap, CORBA_Octet*& cursor, CORBA_ULong depth);
void OBCountValueAt(CORBA_TypeCode* tc, OBInCursor& in, bool swap, CORBA_ULong& count, CORBA_ULong depth);

// Reads an Any nested `depth` values deep.
void OBReadAnyAt(CORBA_Any& any, OBInCursor& in, bool swap, CORBA_ULong depth);

// Raises CORBA_MARSHAL (minor 0, COMPLETED_NO) when depth exceeds OBMaxValueDepth.
void OBCheckValueDepth(CORBA_ULong depth);

#endif
