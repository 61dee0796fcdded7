#pragma once
// A VRT over hundreds of files keeps a pool of them open (GDAL_MAX_DATASET_POOL_SIZE, 100 by
// default), so that no tile is opened again for every block. Under a low limit on open files
// (ulimit -n) that pool would run out of file handles halfway through a conversion. Before any
// source is opened, geodem raises its soft limit towards the hard one as far as the pool needs,
// and where that is not enough shrinks the pool to what is left beside its own files. A pool size
// the user set is left alone.
class OpenFileLimit {
 public:
  static void Fit();
};
