// geodem: converts digital elevation models into CNSDTF-DEM grid files through the GEODEM writer.
#include <exception>
#include <iostream>
#include <new>

#include "apps/geodem/GeodemApp.h"
#include "apps/geodem/Translation.h"

int main(int argc, char** argv) {
  // Whatever escapes the commands still ends geodem with a line that says so and a failure status.
  try {
    Translation::Start();
    return GeodemApp(std::cout, std::cerr).Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "exception: " << _("out of memory") << '\n';
  } catch (const std::exception& e) {
    std::cerr << "exception: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "exception: " << _("an unknown error ended geodem") << '\n';
  }
  return 1;
}
