# widl writes the IDL's defaultvalue("") of VARIANT parameters as C++ default arguments
# (VARIANT NewName = ""), which no compiler accepts; the defaults belong to the type library
# only. Usage: cmake -DHEADER=<file> -P FixGeneratedHeader.cmake
file(READ "${HEADER}" text)
string(REGEX REPLACE "(VARIANT [A-Za-z_][A-Za-z0-9_]*) = \"\"" "\\1" text "${text}")
file(WRITE "${HEADER}" "${text}")
