# Turns the assembled boot loader into a C++ source holding its bytes, and fails the build
# unless it is exactly the 440 bytes that precede the disk signature.
#   cmake -DINPUT=boot_loader.bin -DOUTPUT=boot_code.cpp -P embed_boot_code.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(NOT size EQUAL 440)
  message(FATAL_ERROR "boot loader ${INPUT} is ${size} bytes; it must be exactly 440")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Generated from boot_loader.asm by embed_boot_code.cmake; do not edit.
#include \"partition/boot_code.h\"

const std::array<uint8_t, 440>& boot_code() {
    static const std::array<uint8_t, 440> code = {
    ${bytes}
    };
    return code;
}
")
