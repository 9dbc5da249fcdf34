create table l (texto varchar(40));
insert into l values ('primeira
segunda');
commit;
select texto from l where texto = 'primeira
segunda';
