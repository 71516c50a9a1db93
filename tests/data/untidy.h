#ifndef UNTIDY_H
#define UNTIDY_H
struct point{int x;int y;};
static inline int manhattan(struct point a,struct point b){return (a.x>b.x?a.x-b.x:b.x-a.x)+(a.y>b.y?a.y-b.y:b.y-a.y);}
#endif
