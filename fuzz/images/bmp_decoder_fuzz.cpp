// bmp_decoder_fuzz.cpp: libFuzzer target for decodeBmp.
#include "fuzz/images/check_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    checkDecodedImage(decodeBmp({data, size}));
    return 0;
}
