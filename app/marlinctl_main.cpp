// marlinctl: for now it creates a driver object and prints what a host would read from it.
#include <iostream>

#include "driver/cls_marlin.h"

int main() {
  marlin::clsMarlin amp;
  marlin::InfoRecord info = amp.clsDevice_Info();
  std::cout << "Name:        \"" << amp.clsDevice_Name() << "\"\n"
            << "DeviceType:  " << amp.clsDevice_DeviceType() << "\n"
            << "Interface:   " << amp.clsDevice_Interface() << "\n"
            << "Address:     " << amp.clsDevice_Address() << "\n"
            << "Status:      " << amp.clsDevice_Status() << "\n"
            << "Description: \"" << amp.clsDevice_Description() << "\"\n"
            << "Info:        [\"" << info.Member1 << "\", \"" << info.Member2 << "\", \""
            << info.Member3 << "\", \"" << info.Member4 << "\"]\n"
            << "Interfaces:  ";
  for (auto code : amp.clsDevice_GetInterfaces("")) std::cout << code << ' ';
  std::cout << "\n";
  return 0;
}
