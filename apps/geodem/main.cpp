// geodem: converts digital elevation models into CNSDTF-DEM grid files through the GEODEM writer.
#include <iostream>

#include "apps/geodem/GeodemApp.h"

int main(int argc, char** argv) { return GeodemApp(std::cout, std::cerr).Run(argc, argv); }
