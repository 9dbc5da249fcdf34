create table c (a integer);
insert into c values (1);
commit;
select a from c;
/* end of the script */
