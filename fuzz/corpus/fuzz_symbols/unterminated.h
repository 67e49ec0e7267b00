#ifndef X
#define X
enum {
  A = 5,
  B
