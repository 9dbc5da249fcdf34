/* Dropping what is not there: isql fails, the runner says so and goes on (DropNonexistObj). */
drop table nao_existe;
create table d (a integer);
commit;
