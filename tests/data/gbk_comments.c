/* 链表操作：插入与查找 */
#include <stdio.h>

struct node {int key;struct node *next;};  /* 节点 */

/* 在表头插入一个节点，返回新的表头 */
struct node *push(struct node *head,struct node *n){n->next=head;return n;}

int find(struct node *p,int key)
{
while(p){if(p->key==key) return 1; /* 找到了 */
p=p->next;}
return 0;   /* 没有找到 */
}
