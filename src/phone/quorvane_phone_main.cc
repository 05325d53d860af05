// Program entry of quorvane-phone, the phone viewer.
#include <iostream>

#include "phone/phone_program.h"

int main(int argc, char** argv) {
  return qv::phone::RunPhoneProgram(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
