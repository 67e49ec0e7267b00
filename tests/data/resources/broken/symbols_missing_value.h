enum
{
  IDS_A = 1,
  IDS_B = ,
};
