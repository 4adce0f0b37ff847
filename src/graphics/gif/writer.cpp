// Writing the object tree back as a GIF stream.
#include "graphics/gif/objects.h"

void TGIFHeader::preparePackedFields() {}

void TGIFHeader::SaveToStream(gif::OutStream&) { throw GIFException("Saving is not available yet"); }

void TGIFSubImage::preparePackedFields() {}

void TGIFSubImage::SaveToStream(gif::OutStream&) { throw GIFException("Saving is not available yet"); }

void TGIFSubImage::compress(gif::OutStream&) { throw GIFException("Saving is not available yet"); }

void TGIFPictureList::SaveToStream(gif::OutStream& s) { TGIFList::SaveToStream(s); }
