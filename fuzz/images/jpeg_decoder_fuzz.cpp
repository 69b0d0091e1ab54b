// jpeg_decoder_fuzz.cpp: libFuzzer target for decodeJpeg.
#include "fuzz/images/check_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    checkDecodedImage(decodeJpeg({data, size}));
    return 0;
}
