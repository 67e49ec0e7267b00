#ifndef C4D_SYMBOLS_H__
#define C4D_SYMBOLS_H__
enum
{
  // Texts of the test module
  IDS_SAMPLE = 20000,
  IDS_SAMPLE_HINT,       /* 20001 */
  IDS_OTHER = 20010,
  _DUMMY_ELEMENT_
};
#endif
