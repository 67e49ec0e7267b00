// Parameter IDs of a description whose string table misses a label.
enum
{
  XUNLABELLED_AMOUNT = 1001
};
