/* Zabo's preview sample: deliberately untidy C, so that most options show what they change. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#define MAX_ITEMS   64
#define SQUARE(x) ((x)*(x))
#ifdef DEBUG
#  define TRACE(msg) fprintf(stderr,"%s\n",msg)
#else
#define TRACE(msg)
#endif

typedef unsigned long counter_t;
typedef struct item { char *name; int weight; struct item *next; } item_t;

enum colour {RED, GREEN=2,
   BLUE};

struct shape
{
	int kind;
	union { int radius; struct { int w, h; } box; } size;
};

static counter_t created=0,destroyed =0;   /* how many items live */
static const char *names[]={"alpha","beta",
"gamma", "delta"};
int verbose;
extern int
  declared_elsewhere (int, char *, ...);
typedef int (*callback_t)(void *context, int code);




/*
 * A boxed comment that should stay as it is.
 *    - item_new makes one item
 *    - item_free frees a list
 */
static item_t *item_new(const char *name,int weight){
item_t *it=(item_t*)malloc(sizeof(item_t));
if(it==NULL) return NULL;
it->name=strdup(name);it->weight=weight;it->next=NULL;
created++;
return it;
}

static void item_free(item_t *list)
{
  while (list) { item_t *next = list->next;
    free(list->name); free(list);
    list = next; destroyed++; }
}

/* old-style parameter declarations */
int old_style_sum(a, b, c)
int a;
int b, c;
{
    return a+b +c ;
}

int long_parameter_list(int first_argument, const char *second_argument, double third_argument, long fourth_argument, item_t *fifth_argument);

int
long_parameter_list (int first_argument, const char *second_argument, double third_argument, long fourth_argument, item_t *fifth_argument)
{
	if (first_argument > 0 && second_argument != NULL || third_argument < 0.5 && fourth_argument != 0L || fifth_argument == NULL)
		return (int) third_argument + (int) sizeof (item_t) * first_argument - (int)sizeof(long);
	else return 0;
}

static int classify(int value) {
    switch(value){
    case 0: return 0;
    case 1:
    case 2: { int doubled=value*2;
        return doubled; }
      default:
        if (value<0) return -1; else if (value>100)
        {
            return 100;
        }
        else
            return value;
    }
}

static void loops(item_t *list)
{
    int i,j;
    for(i=0;i<MAX_ITEMS;i++){
        if (i%2==0) continue;
        for (j = 0; j < i; j++) { if(SQUARE(j)>i) break; }
    }
    while(list!=NULL)
    {
        TRACE(list->name);
        list=list->next;
    }
    do { i--; } while (i > 0);
    do
    {
        j++;
    }
    while (j < 10);
}

static long checksum(const unsigned char *data, size_t length, callback_t report)
{
  long sum=0; size_t k;
  for(k=0;k<length;k++) sum+=data[k]<<(k&7);   /* rotate in */
  if(report!=NULL&&!report((void*)data,(int)(sum&0xff))) return -1;
  return sum;
}

static int compare(const void *a,const void *b)
{
	const item_t *x = *(const item_t *const *)a, *y= *(const item_t *const *)b;	// trailing C++ comment
	return x->weight-y->weight;   /* trailing block comment */
}

/* a comment in the first column
   that goes on for a second line */
	/* an indented comment with a tab before it */
int main(int argc,char**argv)
{
    item_t*head=NULL,*tail=NULL;int i;
    struct shape s={0};
    enum colour c=GREEN;
    char buffer[128];
    if(argc>1)verbose=1;
    for (i=0;i<4;i++)
    {
        item_t *it = item_new(names[i], (int) strlen(names[i]) * (i + 1));
        if (!it) { fprintf(stderr, "out of memory\n"); return EXIT_FAILURE; }
        if (tail) tail->next = it; else head = it;
        tail=it;
    }
    s.kind = 1; s.size.box.w = 3; s.size.box.h = 4;
    snprintf(buffer, sizeof buffer, "%d %d %lu", classify(s.size.box.w * s.size.box.h), old_style_sum(1, 2, 3), (unsigned long) created);
    if (verbose) puts(buffer);
    else
    {
        loops(head);
    }
    qsort(NULL, 0, sizeof(item_t *), compare);
    item_free(head);
    return c==RED?1:long_parameter_list(argc, argv[0], 0.25, 7L, head) ;
}
