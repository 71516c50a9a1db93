#include <stdio.h>
static int count(const char*s){int n=0;while(*s){if(*s==' ')n++;s++;}return n;}
int main(int argc,char**argv){
  for(int i=1;i<argc;i++) printf("%s: %d\n",argv[i],count(argv[i]));
        return 0;}
