#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"

#include "HVXOWRITER/HVXOGEODEMWriter/DemGridWriter.h"

HVXOGEODEMWriter::HVXOGEODEMWriter() { ResetJob(); }

HVXOGEODEMWriter::~HVXOGEODEMWriter() {
  ResetJob();
  destinationNames.clear();
}

int HVXOGEODEMWriter::WriteFormatFile(const std::string& finalPath,
                                      const std::string& temporaryPath) {
  return DemGridWriter(demParameters, invalidData, logOutput != 0, progressOutput != 0)
      .Write(finalPath, temporaryPath);
}
