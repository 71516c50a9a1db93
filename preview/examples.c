/* Zabo's example corpus: each part, between the separator lines, is formatted on its own. */
int a,b;
//@@
int  *p,**q;char c='x';
//@@
struct point{int x;int y;};
//@@
typedef unsigned long size_type;
size_type n=sizeof(int)+sizeof n;
//@@
int f(int x){return (int)x*2;}
//@@
int
main (int argc,char **argv)
{
int i;
for(i=0;i<argc;i++) printf("%s\n",argv[i]);
return 0;
}
//@@
void g(int x)
{
if(x){x=1;}else{x=2;}
while(x>0) x--;
do{x++;}while(x<3);
}
//@@
void h(int c)
{
switch(c){
case 1:{c++;break;}
case 2 ... 5:c--;break;
default:break;
}
}
//@@
void k(void)
{
again:
goto again;
}
//@@
int very_long_function_name_for_breaking(int first_argument_value, int second_argument_value, int third);
//@@
int x=first_condition_value&&second_condition_value||third_condition_value&&fourth_condition_value_here;
//@@
/* a block comment
   that spans two lines */
int y;   /* a comment to the right of a declaration */
//@@
void m(void)
{
  int z; // a line comment
  z = 1;        /* a comment to the right of code */
}
//@@
/*
 * a boxed comment with stars
 */
/**************
 * a banner   *
 **************/
//@@
#if defined(X)
#  define Y 1
#else   /* not X */
#define Y 2
#endif  /* X */
//@@
void n(void){
  m ( );
  n( );
  if ( a ) ;
}
//@@
int t[]={1,2,3};
void u(char*s,int   n);
