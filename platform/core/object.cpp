#include "platform/core/object.h"

#include "platform/core/object_handle.h"

TObject::~TObject() { ObjectHandles::Release(this); }
