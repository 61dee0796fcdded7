#include <gdal.h>
#include <gtest/gtest.h>

#include "host/HostRuntime.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  GDALAllRegister();
  InitializeHostRuntime();
  return RUN_ALL_TESTS();
}
