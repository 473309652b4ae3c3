// fuzz/ImageFuzz.h: the shared main of the image fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

#define VELORA_IMAGE_FUZZ_MAIN(callback) \
    int main(int argc, char** argv) { return LLVMFuzzerRunDriver(&argc, &argv, callback); }
